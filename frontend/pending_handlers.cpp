// Statement handlers that are not built yet. Each accepts nothing and
// records error 1 "Syntax error.", the error the dispatcher gives for a
// statement it does not know, so that a syntax check never passes a
// statement it has not really read. The list is kept in
// docs/ARCHITECTURE.md ("Pending statement handlers"). Whoever builds a
// handler deletes its stub here in the same commit (a duplicate definition
// fails the link, so none can be left behind silently).
#include <cstdint>

#include "core/core_globals.h"
#include "frontend/blocks.h"
#include "frontend/directives.h"
#include "frontend/enumerations.h"
#include "frontend/expressions.h"
#include "frontend/imports.h"
#include "frontend/interfaces.h"
#include "frontend/labels.h"
#include "frontend/lists_maps.h"
#include "frontend/macros.h"
#include "frontend/modules.h"
#include "frontend/other_statements.h"
#include "frontend/procedures.h"
#include "frontend/structures.h"
#include "frontend/variables.h"

namespace {

void reject_pending_statement()
{
    set_error(1);
}

}  // namespace


// other_statements.h

// lists_maps.h



// other_statements.h

// labels.h

// lists_maps.h

// expressions.h: string expressions and conditions
