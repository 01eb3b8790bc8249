#pragma once
// The MasterList values of the Office versions, below
// HKEY_CURRENT_USER\Software\Microsoft\Office\<version>\Outlook\Categories.
// Written as REG_BINARY UTF-16 (low byte first, no terminator), each name
// followed by ";"; read from REG_BINARY or REG_SZ.

#include "categories/CategorySet.h"

#include <array>
#include <string>

// Read in this order; 13.0 never existed, and nothing later is probed.
inline constexpr std::array<const char*, 5> ProbedVersions = {"9.0", "10.0", "11.0", "12.0", "14.0"};

// One version's master list text, Version such as "11.0". Every failure once
// the accessor exists, a value that changes while it is read included, gives
// the empty text.
std::wstring ReadMasterList(const std::string& Version);

// The texts of all probed versions, joined in probe order with nothing between.
void ReadRegistryCategories(std::wstring& RegistryMasterText);

// Replaces the MasterList of majorVersion + ".0" with the whole set. A missing
// Categories key is created with an empty REG_BINARY value first; a value of any
// other type, or none in an existing key, is left alone and nothing is written.
// Registry failures raise EStRegIniError.
void WriteMasterList(const std::string& majorVersion, const TCategorySet& RegCategories);
