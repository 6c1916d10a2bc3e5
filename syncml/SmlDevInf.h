// Element structures of the DevInf vocabulary ("syncml:devinf"): a device's information.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "syncml/SmlText.h"

// <Rx-Pref>, <Rx>, <Tx-Pref>, <Tx>, <Filter-Rx>: one content type with its version.
struct SmlContentTypeRef {
  SmlText ctType;
  SmlText verCt;
  bool operator==(const SmlContentTypeRef&) const = default;
};

// <DSMem>: memory of a data store.
struct SmlDsMem {
  bool sharedMem = false;  // <SharedMem/>
  SmlText maxMem;
  SmlText maxId;
  bool operator==(const SmlDsMem&) const = default;
};

// <FilterCap>: the filter keywords and properties a data store can filter on.
struct SmlFilterCap {
  SmlText ctType;
  SmlText verCt;
  std::vector<std::string> filterKeywords;
  std::vector<std::string> propNames;
  bool operator==(const SmlFilterCap&) const = default;
};

// A parameter of a content-type property: <ParamName> and what follows it, or a <PropParam>.
struct SmlPropParam {
  SmlText paramName;
  std::vector<std::string> valEnums;
  SmlText dataType;
  SmlText displayName;
  bool operator==(const SmlPropParam&) const = default;
};

// A property of a content type: <PropName> and what follows it, or a <Property>.
struct SmlProperty {
  SmlText propName;
  std::vector<std::string> valEnums;
  SmlText dataType;
  SmlText size;
  SmlText maxOccur;
  SmlText displayName;
  std::vector<SmlPropParam> params;
  bool operator==(const SmlProperty&) const = default;
};

// The capabilities of one content type. Reading splits a <CTCap> at every <CTType>, so one
// element listing several content types (the usual form) gives several of these; writing puts
// all of a list into one <CTCap> element in that same form.
struct SmlCtCap {
  SmlText ctType;
  SmlText verCt;
  std::vector<SmlProperty> properties;
  bool operator==(const SmlCtCap&) const = default;
};

// <SyncCap>: the sync types of a data store, as texts ("1" two-way ... "7" server alerted); an
// empty <SyncType/> gives an empty text.
struct SmlSyncCap {
  std::vector<std::string> syncTypes;
  bool operator==(const SmlSyncCap&) const = default;
};

// <DataStore>: one database of the device.
struct SmlDataStore {
  SmlText sourceRef;
  SmlText displayName;
  SmlText maxGuidSize;
  std::optional<SmlContentTypeRef> rxPref;
  std::vector<SmlContentTypeRef> rx;
  std::optional<SmlContentTypeRef> txPref;
  std::vector<SmlContentTypeRef> tx;
  std::vector<SmlCtCap> ctCaps;  // content-type capabilities given inside the data store
  std::optional<SmlDsMem> dsMem;
  std::optional<SmlSyncCap> syncCap;
  std::vector<SmlContentTypeRef> filterRx;
  std::vector<SmlFilterCap> filterCaps;
  bool operator==(const SmlDataStore&) const = default;
};

// <Ext>: a vendor extension.
struct SmlExt {
  SmlText xNam;
  std::vector<std::string> xVals;
  bool operator==(const SmlExt&) const = default;
};

// <DevInf>: written in this member order.
struct SmlDevInf {
  SmlText verDtd;
  SmlText man;
  SmlText mod;
  SmlText oem;
  SmlText fwV;
  SmlText swV;
  SmlText hwV;
  SmlText devId;
  SmlText devTyp;
  bool utc = false;                     // <UTC/>
  bool supportLargeObjs = false;        // <SupportLargeObjs/>
  bool supportNumberOfChanges = false;  // <SupportNumberOfChanges/>
  std::vector<SmlDataStore> dataStores;
  std::vector<SmlCtCap> ctCaps;
  std::vector<SmlExt> exts;
  bool operator==(const SmlDevInf&) const = default;
};
