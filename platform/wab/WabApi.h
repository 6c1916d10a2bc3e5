// The address book interface: MAPI-shaped structures, property tags, type codes, result codes and
// the abstract objects that the address book library (libwabstore.so) hands out through WABOpen.
//
// Memory discipline, as in MAPI: every buffer the library returns (entry identifiers, property
// arrays, row sets, problem arrays) is allocated through the allocator object (IWABObject) and
// belongs to the caller, who frees it with IWABObject::FreeBuffer. Data that hangs off a returned
// buffer (strings, binaries, arrays inside property values) was allocated with AllocateMore onto
// that buffer and is freed with it. A row set is the exception MAPI makes too: each row's lpProps
// is a buffer of its own, freed before the row set itself (see FreeRowSet in WabPtr.h).
//
// Objects are reference counted: each one is handed out with one reference that the caller gives
// back with Release(). Objects keep what they need alive, so they may be released in any order,
// but the library must stay loaded until the last object and buffer are gone. An object may be
// used from any thread, one call at a time.
#pragma once

#include <cstddef>
#include <cstdint>

using ULONG = std::uint32_t;
using LONG = std::int32_t;
using BYTE = std::uint8_t;
using WCHAR = char16_t;  // UTF-16 code unit, as MAPI's wide strings
using LPSTR = char*;
using LPWSTR = WCHAR*;
using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using LONGLONG = std::int64_t;

// ---- Result codes -------------------------------------------------------------------------------
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
inline constexpr HRESULT MAPI_E_CALL_FAILED = E_FAIL;
inline constexpr HRESULT MAPI_E_INVALID_PARAMETER = E_INVALIDARG;
inline constexpr HRESULT MAPI_E_NOT_ENOUGH_MEMORY = E_OUTOFMEMORY;
inline constexpr HRESULT MAPI_E_NO_ACCESS = E_ACCESSDENIED;
inline constexpr HRESULT MAPI_E_NO_SUPPORT = static_cast<HRESULT>(0x80040102);
inline constexpr HRESULT MAPI_E_BAD_CHARWIDTH = static_cast<HRESULT>(0x80040103);
inline constexpr HRESULT MAPI_E_UNKNOWN_FLAGS = static_cast<HRESULT>(0x80040106);
inline constexpr HRESULT MAPI_E_INVALID_ENTRYID = static_cast<HRESULT>(0x80040107);
inline constexpr HRESULT MAPI_E_OBJECT_DELETED = static_cast<HRESULT>(0x8004010A);
inline constexpr HRESULT MAPI_E_BUSY = static_cast<HRESULT>(0x8004010B);
inline constexpr HRESULT MAPI_E_NOT_ENOUGH_DISK = static_cast<HRESULT>(0x8004010D);
inline constexpr HRESULT MAPI_E_NOT_FOUND = static_cast<HRESULT>(0x8004010F);
inline constexpr HRESULT MAPI_E_VERSION = static_cast<HRESULT>(0x80040110);
inline constexpr HRESULT MAPI_E_DISK_ERROR = static_cast<HRESULT>(0x80040116);
inline constexpr HRESULT MAPI_E_COMPUTED = static_cast<HRESULT>(0x8004011A);
inline constexpr HRESULT MAPI_E_CORRUPT_DATA = static_cast<HRESULT>(0x8004011B);
inline constexpr HRESULT MAPI_E_UNKNOWN_ENTRYID = static_cast<HRESULT>(0x80040201);
inline constexpr HRESULT MAPI_E_BAD_VALUE = static_cast<HRESULT>(0x80040301);
inline constexpr HRESULT MAPI_E_INVALID_TYPE = static_cast<HRESULT>(0x80040302);
inline constexpr HRESULT MAPI_E_TOO_BIG = static_cast<HRESULT>(0x80040305);
inline constexpr HRESULT MAPI_E_INVALID_BOOKMARK = static_cast<HRESULT>(0x80040405);
// Warnings: the call did its work, with exceptions the caller may want to look at.
inline constexpr HRESULT MAPI_W_ERRORS_RETURNED = static_cast<HRESULT>(0x00040380);
inline constexpr HRESULT MAPI_W_PARTIAL_COMPLETION = static_cast<HRESULT>(0x00040680);

inline constexpr bool HrSucceeded(HRESULT hr) { return hr >= 0; }
inline constexpr bool HrFailed(HRESULT hr) { return hr < 0; }

// ---- Property types and tags --------------------------------------------------------------------
inline constexpr ULONG PT_UNSPECIFIED = 0x0000;  // in a requested tag: the property's own type
inline constexpr ULONG PT_LONG = 0x0003;
inline constexpr ULONG PT_ERROR = 0x000A;        // in a returned value: Value.err tells why it is missing
inline constexpr ULONG PT_BOOLEAN = 0x000B;
inline constexpr ULONG PT_SYSTIME = 0x0040;      // FILETIME: 100 ns units since 1601-01-01 UTC
inline constexpr ULONG PT_STRING8 = 0x001E;      // 8-bit text in the locale's codeset
inline constexpr ULONG PT_UNICODE = 0x001F;      // UTF-16 text
inline constexpr ULONG PT_BINARY = 0x0102;
inline constexpr ULONG MV_FLAG = 0x1000;
inline constexpr ULONG PT_MV_LONG = 0x1003;
inline constexpr ULONG PT_MV_STRING8 = 0x101E;
inline constexpr ULONG PT_MV_UNICODE = 0x101F;
inline constexpr ULONG PT_MV_BINARY = 0x1102;

inline constexpr ULONG PROP_TYPE(ULONG tag) { return tag & 0xFFFFu; }
inline constexpr ULONG PROP_ID(ULONG tag) { return tag >> 16; }
inline constexpr ULONG PROP_TAG(ULONG type, ULONG id) { return (id << 16) | type; }
inline constexpr ULONG CHANGE_PROP_TYPE(ULONG tag, ULONG type) { return (tag & 0xFFFF0000u) | type; }

inline constexpr ULONG PR_ENTRYID = 0x0FFF0102;
inline constexpr ULONG PR_OBJECT_TYPE = 0x0FFE0003;
inline constexpr ULONG PR_DISPLAY_NAME = 0x3001001F;
inline constexpr ULONG PR_CREATION_TIME = 0x30070040;
inline constexpr ULONG PR_LAST_MODIFICATION_TIME = 0x30080040;
inline constexpr ULONG PR_DEF_CREATE_DL = 0x36110102;
inline constexpr ULONG PR_DEF_CREATE_MAILUSER = 0x36120102;
inline constexpr ULONG PR_WAB_DL_ENTRIES = 0x66001102;  // a distribution list's member entry identifiers
inline constexpr ULONG PR_ZEP_EMAIL_ADDRESSES_TYPES = 0x9000101F;
inline constexpr ULONG PR_ZEP_ADDITIONAL_PHONES_LIST = 0x9001101F;
inline constexpr ULONG PR_ZEP_ADDITIONAL_PHONES_ATTR = 0x9002101F;
inline constexpr ULONG PR_ZEP_PREF_PHONE_INDEX = 0x9003001F;
inline constexpr ULONG PR_ZEP_ENTRYID = 0x9004001F;
inline constexpr ULONG PR_ZEP_ADDITIONAL_URLS_LIST = 0x9005101F;
inline constexpr ULONG PR_ZEP_ADDITIONAL_URLS_ATTR = 0x9006101F;

// ---- Object types (PR_OBJECT_TYPE, OpenEntry) ---------------------------------------------------
inline constexpr ULONG MAPI_ABCONT = 4;
inline constexpr ULONG MAPI_MAILUSER = 6;
inline constexpr ULONG MAPI_DISTLIST = 8;

// ---- Flags --------------------------------------------------------------------------------------
inline constexpr ULONG MAPI_UNICODE = 0x80000000u;  // strings as PT_UNICODE instead of PT_STRING8
inline constexpr ULONG MAPI_MODIFY = 0x00000001u;   // accepted; objects are always writable
inline constexpr ULONG MAPI_BEST_ACCESS = 0x00000010u;
inline constexpr ULONG KEEP_OPEN_READONLY = 0x00000001u;  // SaveChanges: accepted; the object stays usable
inline constexpr ULONG KEEP_OPEN_READWRITE = 0x00000002u;
inline constexpr ULONG FORCE_SAVE = 0x00000004u;
inline constexpr ULONG TBL_NOADVANCE = 0x00000001u;  // QueryRows: leave the cursor where it is

using BOOKMARK = ULONG;
inline constexpr BOOKMARK BOOKMARK_BEGINNING = 0;
inline constexpr BOOKMARK BOOKMARK_CURRENT = 1;
inline constexpr BOOKMARK BOOKMARK_END = 2;

// ---- Structures ---------------------------------------------------------------------------------
struct FILETIME {
  ULONG dwLowDateTime;
  ULONG dwHighDateTime;
};

// An entry identifier: `cb` bytes starting at abFlags, opaque to the caller. Identifiers are
// stable: the same entry has the same bytes in every process and run.
struct ENTRYID {
  BYTE abFlags[4];
  BYTE ab[1];
};
using LPENTRYID = ENTRYID*;

struct SBinary {
  ULONG cb;
  BYTE* lpb;
};
struct SLongArray {
  ULONG cValues;
  LONG* lpl;
};
struct SLPSTRArray {
  ULONG cValues;
  LPSTR* lppszA;
};
struct SWStringArray {
  ULONG cValues;
  LPWSTR* lppszW;
};
struct SBinaryArray {
  ULONG cValues;
  SBinary* lpbin;
};
using ENTRYLIST = SBinaryArray;

union PV {
  LONG l;
  unsigned short b;  // PT_BOOLEAN: 0 or 1
  FILETIME ft;
  LPSTR lpszA;
  LPWSTR lpszW;
  SBinary bin;
  SLongArray MVl;
  SLPSTRArray MVszA;
  SWStringArray MVszW;
  SBinaryArray MVbin;
  SCODE err;
  LONGLONG li;
};

struct SPropValue {
  ULONG ulPropTag;
  ULONG dwAlignPad;
  PV Value;
};
using LPSPropValue = SPropValue*;

// A counted list of tags; aulPropTag really holds cValues entries (allocate SizeOfPropTagArray
// bytes, or use SizedPropTagArray below).
struct SPropTagArray {
  ULONG cValues;
  ULONG aulPropTag[1];
};
using LPSPropTagArray = SPropTagArray*;

inline constexpr std::size_t SizeOfPropTagArray(ULONG count) {
  return offsetof(SPropTagArray, aulPropTag) + sizeof(ULONG) * (count == 0 ? 1 : count);
}

// A tag list of fixed length with the layout of SPropTagArray: pass AsTagArray() where a
// LPSPropTagArray is wanted.
template <ULONG N>
struct SizedPropTagArray {
  ULONG cValues = N;
  ULONG aulPropTag[N];
  SPropTagArray* AsTagArray() { return reinterpret_cast<SPropTagArray*>(this); }
};

struct SRow {
  ULONG ulAdrEntryPad;
  ULONG cValues;
  SPropValue* lpProps;
};

// aRow really holds cRows entries.
struct SRowSet {
  ULONG cRows;
  SRow aRow[1];
};
using LPSRowSet = SRowSet*;

struct SPropProblem {
  ULONG ulIndex;  // index of the property in the caller's array
  ULONG ulPropTag;
  SCODE scode;
};

// aProblem really holds cProblem entries.
struct SPropProblemArray {
  ULONG cProblem;
  SPropProblem aProblem[1];
};
using LPSPropProblemArray = SPropProblemArray*;

// Parameter block of WABOpen (32 bytes). hwnd and hInstance are the caller's window and module;
// the library does not use them. szFileName names the address book file to open; null or empty
// opens the user's book ($LARK_WAB_ADDRESSBOOK, else $XDG_DATA_HOME/wab/addressbook.db).
struct WAB_PARAM {
  ULONG cbSize;  // sizeof(WAB_PARAM)
  ULONG ulFlags; // reserved, 0
  void* hwnd;
  void* hInstance;
  const char* szFileName;
};
static_assert(sizeof(void*) != 8 || sizeof(WAB_PARAM) == 32, "the parameter block is 32 bytes");

// ---- Objects ------------------------------------------------------------------------------------
class IUnknown {
 public:
  virtual ULONG AddRef() = 0;
  // Gives back one reference; the object is destroyed with its last one.
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

// The allocator: MAPIAllocateBuffer / MAPIAllocateMore / MAPIFreeBuffer.
class IWABObject : public IUnknown {
 public:
  // A new zero-filled buffer of `cb` bytes (a root buffer).
  virtual HRESULT AllocateBuffer(ULONG cb, void** lppBuffer) = 0;
  // A new zero-filled buffer freed together with the root buffer that `lpObject` belongs to.
  virtual HRESULT AllocateMore(ULONG cb, void* lpObject, void** lppBuffer) = 0;
  // Frees a root buffer and everything allocated onto it. Null is accepted. A pointer that is
  // not a live root buffer (freed already, or allocated with AllocateMore) is refused with
  // MAPI_E_INVALID_PARAMETER and nothing is freed.
  virtual HRESULT FreeBuffer(void* lpBuffer) = 0;
  // Number of root buffers handed out and not yet freed: lets callers check their discipline.
  virtual ULONG OutstandingBuffers() = 0;
};
using LPWABOBJECT = IWABObject*;

// Properties of an object. Entries (mail users and distribution lists) keep changes in the object
// until SaveChanges writes them in one transaction.
class IMAPIProp : public IUnknown {
 public:
  // The values of `lpPropTagArray` in its order, or of every property when it is null. With
  // MAPI_UNICODE strings come as PT_UNICODE, else as PT_STRING8; a requested tag that the object
  // does not have (or not with that type) comes back as PT_ERROR with MAPI_E_NOT_FOUND and the
  // call returns MAPI_W_ERRORS_RETURNED. *lppPropArray is one buffer for the caller to free.
  virtual HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                           LPSPropValue* lppPropArray) = 0;
  // Sets values of any property identifier with the ten supported types. A value that cannot be
  // stored (unsupported type, null data, over the size limits, text not valid in the locale)
  // fails the whole call and changes nothing. Computed properties (entry identifier, object
  // type, creation and modification time) are left alone and reported in *lppProblems (when it
  // is not null) with MAPI_E_COMPUTED.
  virtual HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray, LPSPropProblemArray* lppProblems) = 0;
  // Removes properties by identifier; absent ones are no error, computed ones are problems.
  virtual HRESULT DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray* lppProblems) = 0;
  // Writes the object in one transaction and sets PR_LAST_MODIFICATION_TIME, which moves forward
  // by at least one second on every save of the same entry. MAPI_E_OBJECT_DELETED when another
  // process deleted the entry meanwhile.
  virtual HRESULT SaveChanges(ULONG ulFlags) = 0;
};
using LPMAPIPROP = IMAPIProp*;

// A snapshot of a container's entries, taken when the table was made, sorted by display name.
// Entries deleted since are skipped when their row is read.
class IMAPITable : public IUnknown {
 public:
  // The columns of the following rows (default PR_ENTRYID, PR_DISPLAY_NAME, PR_OBJECT_TYPE).
  virtual HRESULT SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) = 0;
  // Moves the cursor `lRowCount` rows from the bookmark, stopping at either end;
  // *lplRowsSought (when not null) receives the rows actually moved.
  virtual HRESULT SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) = 0;
  // Up to lRowCount (> 0) rows from the cursor forward; cRows is 0 at the end of the table.
  virtual HRESULT QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) = 0;
  virtual HRESULT GetRowCount(ULONG ulFlags, ULONG* lpulCount) = 0;
};
using LPMAPITABLE = IMAPITable*;

class IMailUser : public IMAPIProp {};
// A distribution list; its members are the entry identifiers in PR_WAB_DL_ENTRIES.
class IDistList : public IMAPIProp {};
using LPMAILUSER = IMailUser*;
using LPDISTLIST = IDistList*;

// The personal address book container. Its own properties: PR_ENTRYID, PR_OBJECT_TYPE,
// PR_DISPLAY_NAME, PR_DEF_CREATE_MAILUSER and PR_DEF_CREATE_DL (the creation templates); they
// cannot be changed.
class IABContainer : public IMAPIProp {
 public:
  // The contents table; MAPI_E_NOT_FOUND (and a null table) when the container is empty.
  virtual HRESULT GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  // A new unsaved entry of the template's kind (mail user or distribution list); it is written
  // by its first SaveChanges. *lppMAPIPropEntry is an IMailUser or IDistList.
  virtual HRESULT CreateEntry(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulCreateFlags,
                              LPMAPIPROP* lppMAPIPropEntry) = 0;
  // Deletes the listed entries in one transaction; MAPI_W_PARTIAL_COMPLETION when some of them
  // were not entries of this container (the others are deleted).
  virtual HRESULT DeleteEntries(ENTRYLIST* lpEntries, ULONG ulFlags) = 0;
};
using LPABCONT = IABContainer*;

class IAddrBook : public IUnknown {
 public:
  // The personal address book's entry identifier, in a buffer for the caller to free.
  virtual HRESULT GetPAB(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
  // Opens a container or entry. *lpulObjType tells what *lppUnk is: MAPI_ABCONT an
  // IABContainer, MAPI_MAILUSER an IMailUser, MAPI_DISTLIST an IDistList (static_cast it).
  // A null identifier opens the personal address book. lpInterface is not used.
  virtual HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, const void* lpInterface, ULONG ulFlags,
                            ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
};
using LPADRBOOK = IAddrBook*;

// The library's entry point, exported as "WABOpen". Gives one reference to the address book and
// one to the allocator. lpWP may be null. Fails when the book cannot be opened or created.
extern "C" {
using LPWABOPEN = HRESULT (*)(LPADRBOOK* lppAdrBook, LPWABOBJECT* lppWABObject, WAB_PARAM* lpWP, ULONG Reserved2);
}
inline constexpr const char* kWabOpenSymbol = "WABOpen";
