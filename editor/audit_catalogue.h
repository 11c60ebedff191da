// The DkAudit root of the command tree: its groups and kinds, their fields and statement text, and
// the analysis of audit and conversion lines.
#pragma once

#include "catalogue.h"

namespace dkedit {

// The tree items under the DkAudit root (the root first) and its kinds.
CatalogueRoot audit_catalogue();

}  // namespace dkedit
