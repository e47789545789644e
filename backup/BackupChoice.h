#pragma once

namespace stowline {

// The items of a backup, numbered as the wizard's first page numbers its boxes and as the item
// flags order their characters.
enum BackupItem { ItemIdentities = 0, ItemFavorites = 1, ItemAddressBook = 2 };

// What the backup run reads from the wizard: an item is chosen when its box is enabled (the item
// was found) and ticked.
class BackupChoice {
public:
    virtual ~BackupChoice() = default;
    virtual bool itemChosen(int item) const = 0;
};

} // namespace stowline
