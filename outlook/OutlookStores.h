#pragma once
// Every store of the Outlook profile and its own category list (Outlook 2010
// and later), or the one list Namespace.Categories gives where that is all.

#include "outlook/OutlookConnection.h"

// Whether the only store of a profile is asked for its name: the window has no
// use for it, a script that chooses a store by name has.
enum class TOnlyStoreNaming { Unnamed, Named };

// Fills connection.Stores. With Outlook 2010 or later and two or more stores,
// each store's own list; a store whose list cannot be read is kept, marked
// unreadable with the error's text. Otherwise one store, the default, read
// through Namespace.Categories. A failure of the default store's read (or of
// asking for the stores one by one) is raised, as a failed read always was.
void ReadOutlookStores(TOutlookConnection& connection, TOnlyStoreNaming naming = TOnlyStoreNaming::Unnamed);
