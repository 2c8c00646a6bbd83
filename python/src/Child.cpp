#include "Child.h"

#include "commands/BrowseCommand.h"

Child Child::From(const varbank::BrowseChild& child) {
    return {child.name, BrowseCommand::ItemPath(child.itemId), child.itemId, child.hasChildren};
}
