#include "widgets/dialog_units.h"

#include <QFontMetrics>

namespace nemora::widgets {

DialogUnitScale DialogUnitsFor(const QFont& font)
{
    const QFontMetrics fm(font);
    const int letters = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int averageWidth = (letters / 26 + 1) / 2;
    return {1000 * averageWidth / 4, 1000 * fm.height() / 8};
}

} // namespace nemora::widgets
