// The three element vocabularies of SyncML messages (SyncML, MetInf, DevInf): element names,
// namespaces written and accepted.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "syncml/SmlTypes.h"

enum class SmlVocab : std::uint8_t { SyncMl, MetInf, DevInf };

// Every element of the three vocabularies; Mi... are MetInf elements, Di... DevInf elements.
enum class SmlTag : std::uint8_t {
  Unknown,
  // SyncML
  Add, Alert, Archive, Atomic, Chal, Cmd, CmdID, CmdRef, Copy, Cred, Data, Delete, Exec, Final,
  Get, Item, Lang, LocName, LocURI, Map, MapItem, Meta, MsgID, MsgRef, NoResp, NoResults, Put,
  Replace, RespURI, Results, Search, Sequence, SessionID, SftDel, Source, SourceRef, Status, Sync,
  SyncBody, SyncHdr, SyncML, Target, TargetRef, VerDTD, VerProto, NumberOfChanges, MoreData,
  Filter, Record, Field, FilterType,
  // MetInf
  MiAnchor, MiEMI, MiFormat, MiFreeID, MiFreeMem, MiLast, MiMark, MiMaxMsgSize, MiMem, MiMetInf,
  MiNext, MiNextNonce, MiSharedMem, MiSize, MiType, MiVersion, MiMaxObjSize,
  // DevInf
  DiCTCap, DiCTType, DiDataStore, DiDataType, DiDevID, DiDevInf, DiDevTyp, DiDisplayName, DiDSMem,
  DiExt, DiFwV, DiHwV, DiMan, DiMaxGUIDSize, DiMaxID, DiMaxMem, DiMod, DiOEM, DiParamName,
  DiPropName, DiRx, DiRxPref, DiSharedMem, DiSize, DiSourceRef, DiSwV, DiSyncCap, DiSyncType,
  DiTx, DiTxPref, DiValEnum, DiVerCT, DiVerDTD, DiXNam, DiXVal, DiUTC, DiSupportNumberOfChanges,
  DiSupportLargeObjs, DiProperty, DiPropParam, DiMaxOccur, DiFilterRx, DiFilterCap,
  DiFilterKeyword,
};

// The element's name as written ("Rx-Pref" for DiRxPref); empty for Unknown.
std::string_view SmlTagName(SmlTag tag);
SmlVocab SmlTagVocab(SmlTag tag);
// The element called `name` in `vocab`, or SmlTag::Unknown. Names are case-sensitive.
SmlTag SmlLookupTag(SmlVocab vocab, std::string_view name);

// The namespace written for `vocab`; the SyncML one depends on the message's version.
std::string_view SmlNamespaceOf(SmlVocab vocab, SmlVersion version);
// The vocabulary a namespace value names, in any letter case: a value beginning with
// "SYNCML:SYNCML" is SyncML, "syncml:metinf" MetInf and "syncml:devinf" DevInf, and so is the URL
// of their DTD (a file name beginning "devinf" or "syncml_metinf", ending ".dtd"); anything else
// is not accepted.
std::optional<SmlVocab> SmlVocabOfNamespace(std::string_view value);
