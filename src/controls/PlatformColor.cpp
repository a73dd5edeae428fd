// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/PlatformColor.h"

#include <array>

namespace {

struct PaletteEntry
{
    PlatformColor::System number;
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

using C = PlatformColor;
using P = QPalette;
// Each desktop colour as the palette colour that plays its part in Qt's styles: the
// pairing Qt's own Windows theme makes when it builds its palette.
constexpr std::array<PaletteEntry, 31> SystemColors {{
    {C::ScrollBar, P::Active, P::Button},
    {C::Desktop, P::Active, P::Dark},
    {C::ActiveCaption, P::Active, P::Highlight},
    {C::InactiveCaption, P::Inactive, P::Highlight},
    {C::Menu, P::Active, P::Window},
    {C::WindowBackground, P::Active, P::Base},
    {C::WindowFrame, P::Active, P::Shadow},
    {C::MenuText, P::Active, P::WindowText},
    {C::WindowText, P::Active, P::Text},
    {C::CaptionText, P::Active, P::HighlightedText},
    {C::ActiveBorder, P::Active, P::Window},
    {C::InactiveBorder, P::Inactive, P::Window},
    {C::AppWorkspace, P::Active, P::Dark},
    {C::Highlight, P::Active, P::Highlight},
    {C::HighlightText, P::Active, P::HighlightedText},
    {C::ButtonFace, P::Active, P::Button},
    {C::ButtonShadow, P::Active, P::Dark},
    {C::GrayText, P::Disabled, P::WindowText},
    {C::ButtonText, P::Active, P::ButtonText},
    {C::InactiveCaptionText, P::Inactive, P::HighlightedText},
    {C::ButtonHighlight, P::Active, P::Light},
    {C::DarkShadow3D, P::Active, P::Shadow},
    {C::Light3D, P::Active, P::Midlight},
    {C::InfoText, P::Active, P::ToolTipText},
    {C::InfoBackground, P::Active, P::ToolTipBase},
    {C::Unassigned, P::Active, P::NoRole},
    {C::HotLight, P::Active, P::Link},
    {C::GradientActiveCaption, P::Active, P::Highlight},
    {C::GradientInactiveCaption, P::Inactive, P::Highlight},
    {C::MenuHighlight, P::Active, P::Highlight},
    {C::MenuBar, P::Active, P::Window},
}};

constexpr bool indexedByNumber()
{
    for (std::size_t i = 0; i < SystemColors.size(); ++i) {
        if (SystemColors[i].number != i)
            return false;
    }
    return true;
}
static_assert(indexedByNumber());

} // namespace

QColor PlatformColor::toColor(quint32 value, const QPalette &palette)
{
    if ((value & SystemFlag) == 0)
        return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
    const quint32 number = value & ~SystemFlag;
    // The desktop answers black for a number it has no colour for.
    if (number >= SystemColors.size() || SystemColors[number].role == QPalette::NoRole)
        return QColor(Qt::black);
    return palette.color(SystemColors[number].group, SystemColors[number].role);
}
