#pragma once

#include <QString>

namespace stowline {

// What the restore run needs from the Restore Wizard pages. The pages implement these; the run
// finds the loaded pages by their form names, so the engine never reaches into widgets.

// frmRS_Choice: an item counts as chosen only when its box is enabled and checked.
class RestoreItemsChoice {
public:
    virtual ~RestoreItemsChoice() = default;
    virtual bool identitiesChosen() const = 0;
    virtual bool favoritesChosen() const = 0;
    virtual bool addressBookChosen() const = 0;
};

// frmRS_Identity: the identity index as listed, with the user's check marks.
class IdentitiesChoice {
public:
    virtual ~IdentitiesChoice() = default;
    virtual int identityCount() const = 0;
    virtual QString identityName(int index) const = 0;
    virtual QString identityId(int index) const = 0;
    virtual bool identityChecked(int index) const = 0;
};

// frmRS_IEF: replace the current favorites, or add to them.
class FavoritesModeChoice {
public:
    virtual ~FavoritesModeChoice() = default;
    virtual bool replaceFavorites() const = 0;
};

// The loaded pages. While a page is not loaded its design state answers: nothing chosen, no
// identities, replace mode.
const RestoreItemsChoice& restoreItemsChoice();
const IdentitiesChoice& identitiesChoice();
const FavoritesModeChoice& favoritesModeChoice();

} // namespace stowline
