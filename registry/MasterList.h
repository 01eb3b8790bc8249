#pragma once
// The MasterList values of the Office versions, below
// HKEY_CURRENT_USER\Software\Microsoft\Office\<version>\Outlook\Categories.
// Written as REG_BINARY UTF-16 (low byte first, no terminator), each name
// followed by ";", or added to an existing REG_SZ or REG_EXPAND_SZ; read from
// any of these. A value of another type holds no list Pellorin can read.

#include "base/Errors.h"
#include "categories/CategorySet.h"

#include <windows.h>

#include <array>
#include <string>
#include <vector>

// Read in this order; 13.0 never existed. 15.0 and 16.0 are Outlook 2013 and
// 2016 to Microsoft 365, which keep their own key although they use the store.
inline constexpr std::array<const char*, 7> ProbedVersions = {"9.0",  "10.0", "11.0", "12.0",
                                                              "14.0", "15.0", "16.0"};

// One version's master list text, Version such as "11.0". A REG_BINARY value
// is UTF-16 from 10.0 on. In the 9.0 key it is Outlook 2000's 8-bit text in the
// ANSI code page, up to its trailing zero bytes, unless a zero byte stands
// before those: only a later writer's UTF-16 has one there. Every failure once
// the accessor exists, a value that changes while it is read included, gives
// the empty text.
std::wstring ReadMasterList(const std::string& Version);

// A version's MasterList of a type that holds no list Pellorin can read
// (REG_MULTI_SZ, REG_DWORD, REG_NONE...). Its names are left out of the
// registry's list, and the user must be told so.
struct TUnreadableMasterList {
    std::string Version;  // such as "14.0"
    DWORD Type = REG_NONE;
};

// What a Refresh reads of the registry: the texts of all probed versions in
// probe order, and each version whose value could not be read for its type.
struct TRegistryMasterLists {
    std::wstring Text;
    std::vector<TUnreadableMasterList> Unreadable;  // in probe order
};

// A text that does not end with ";" gets one before the next version's text,
// so that two versions' names never run into one.
TRegistryMasterLists ReadRegistryMasterLists();
// The same text alone, for callers that do not report unreadable values.
void ReadRegistryCategories(std::wstring& RegistryMasterText);

// The registry type's usual name, such as "REG_MULTI_SZ"; "registry type N"
// for a number Windows gives no name.
std::wstring RegistryTypeName(DWORD type);
// "The master list of Outlook 14.0 is stored as REG_MULTI_SZ, which Pellorin
// cannot read, so its names are left out."
std::wstring UnreadableMasterListText(const TUnreadableMasterList& list);

// A MasterList of a type that holds no list (REG_DWORD, REG_MULTI_SZ...).
class EMasterListTypeError : public EException {
public:
    explicit EMasterListTypeError(const std::string& version);
};

// The major version whose list a copy writes where no classic Outlook was
// found to say (Microsoft 365's mailbox alone): the newest version from 10.0
// on whose list holds text, where the user of an older Outlook keeps the
// names; else "16", Microsoft 365's own. Outlook 2000's key is never chosen,
// as a copy never writes it.
std::string MajorVersionWithoutOutlook();

// Adds to the MasterList of majorVersion + ".0" the names of the set that it
// lacks (letter case ignored), so that the value only ever grows: its content
// stays as it is, followed by a ";" where it does not end with one, then by
// each missing name and ";". A REG_BINARY value whose text ends in U+0000
// units gains the names before those units, which stay last: a reader that
// stops at the first U+0000 sees them. Nothing is written when nothing is
// missing. A missing key or value is created as REG_BINARY, written as UTF-16
// as Outlook 2002 and later write it (a copy never writes Outlook 2000's key:
// that Outlook keeps no categories in the store). A REG_SZ or REG_EXPAND_SZ
// value keeps its type and gains each name up to its first U+0000, which
// would end the text; a value of any other type is left alone and raises
// EMasterListTypeError. Registry failures raise EStRegIniError.
void WriteMasterList(const std::string& majorVersion, const TCategorySet& RegCategories);
