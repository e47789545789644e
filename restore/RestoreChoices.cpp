#include "restore/RestoreChoices.h"

#include "foundation/modGlobal.h"

namespace stowline {

namespace {

class NothingChosen : public RestoreItemsChoice {
public:
    bool identitiesChosen() const override { return false; }
    bool favoritesChosen() const override { return false; }
    bool addressBookChosen() const override { return false; }
};

class NoIdentities : public IdentitiesChoice {
public:
    int identityCount() const override { return 0; }
    QString identityName(int) const override { return {}; }
    QString identityId(int) const override { return {}; }
    bool identityChecked(int) const override { return false; }
};

class ReplaceMode : public FavoritesModeChoice {
public:
    bool replaceFavorites() const override { return true; }
};

template <class Choice, class Fallback> const Choice& loadedOr(const char* formName) {
    static const Fallback fallback;
    if (const auto* page = dynamic_cast<const Choice*>(forms::find(QString::fromLatin1(formName))))
        return *page;
    return fallback;
}

} // namespace

const RestoreItemsChoice& restoreItemsChoice() {
    return loadedOr<RestoreItemsChoice, NothingChosen>("frmRS_Choice");
}

const IdentitiesChoice& identitiesChoice() {
    return loadedOr<IdentitiesChoice, NoIdentities>("frmRS_Identity");
}

const FavoritesModeChoice& favoritesModeChoice() {
    return loadedOr<FavoritesModeChoice, ReplaceMode>("frmRS_IEF");
}

} // namespace stowline
