#pragma once

#include <QStringList>

namespace qt2xx {

// Faces with Chinese glyphs, for the captions and the status log; the first family present is taken.
inline const QStringList& CjkFontFamilies() {
    static const QStringList families{QStringLiteral("WenQuanYi Micro Hei"),
                                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("SimSun")};
    return families;
}

} // namespace qt2xx
