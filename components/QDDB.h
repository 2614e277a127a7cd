// The data-access components: comms engine, session, database, table proxy
// (and the table, components/table.h), and the process-wide functions that
// find them. The program's entry makes the layer before any component and
// ends it after the last: InitializeComponentLayer makes the comms-engine
// list, a comms engine and a session both named "[automatic]" and both
// default; FinalizeComponentLayer frees the list (closing every engine and
// freeing those no other component made) and stops the client engine.
// Components the program makes itself get a creating component (owner),
// which frees them; the tree only frees the nodes it made.
// Thread rules: the user-interface thread only; the comms-engine list
// alone may be read from other threads.
#pragma once

#include <string_view>

#include "components/QDDBBase.h"
#include "components/comms_engine.h"
#include "components/database.h"
#include "components/session.h"
#include "components/table_proxy.h"

namespace qd {

void InitializeComponentLayer();
void FinalizeComponentLayer();
// The process's comms engines; nullptr outside the layer's lifetime.
TqdDBList* CommsEngines();

// Name searches ignore case.
TqdCommsEngine* FindCommsEngine(std::string_view name);
TqdCommsEngine* FindAutoCommsEngine();
// The first engine whose IsDefault is set, or nullptr.
TqdCommsEngine* FindDefaultCommsEngine();
// Raises 54539 instead of answering nullptr.
TqdCommsEngine* DefaultCommsEngine();
TqdSession* FindDefaultSession();
// Raises 54539 without a default engine and 54540 when it has no session.
TqdSession* DefaultSession();
// Engines in list order, each engine's sessions from the last to the first.
TqdSession* FindSession(std::string_view name);
// The session's database of that name; with `create`, a new temporary one
// when the name is one of the session's aliases; else nullptr.
TqdDatabase* FindDatabase(TqdSession* session, std::string_view name, bool create);
// The session's alias names hold `name`; a failure to list them counts as no.
bool IsAliasName(TqdSession* session, std::string_view name);
bool IsDatabaseName(TqdSession* session, std::string_view name);

}  // namespace qd
