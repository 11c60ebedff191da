// The DkAudit root; its kinds are not built yet, so the root stands alone.
#include "audit_catalogue.h"

namespace dkedit {

CatalogueRoot audit_catalogue() {
    CatalogueRoot root;
    TreeItem item;
    item.label = "DkAudit";
    item.level = 0;
    item.role = TreeRole::Group;
    item.icon = item.selected_icon = TreeIcon::Audit;
    root.tree.push_back(item);
    return root;
}

}  // namespace dkedit
