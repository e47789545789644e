#include "ui/modFont.h"

#include "foundation/modError.h"
#include "platform/Platform.h"

#include <QGuiApplication>

namespace stowline {

namespace {

struct LocaleFont {
    int localeId;
    const char16_t* face;
};

// Qt fonts carry no character set: the face alone decides, and the font system falls back to any
// installed face that has the glyphs.
constexpr LocaleFont kLocaleFonts[] = {
    {1028, u"\u65B0\u7D30\u660E\u9AD4"},
    {1041, u"\uFF2D\uFF33\u0020\uFF30\u30B4\u30B7\u30C3\u30AF"},
    {1042, u"\uAD74\uB9BC"},
    {2052, u"\u5B8B\u4F53"},
};
constexpr int kEastAsianSize = 9;
constexpr int kDefaultSize = 8;

} // namespace

void SetProperFont(QFont& font) {
    TRAP_BEGIN("modFont:SetProperFont")
        STEP(1) const int localeId = platform::system().localeId();
        STEP(2) for (const LocaleFont& entry : kLocaleFonts) {
            if (entry.localeId == localeId) {
                STEP(3) font.setFamily(QString::fromUtf16(entry.face));
                STEP(4) font.setPointSize(kEastAsianSize);
                return;
            }
        }
        // The classic empty face name: the desktop's default face.
        STEP(5) font.setFamily(QGuiApplication::font().family());
        STEP(6) font.setPointSize(kDefaultSize);
    TRAP_END
}

} // namespace stowline
