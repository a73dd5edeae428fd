// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QPalette>

// Colour values as the controls store them: 0x00BBGGRR for a fixed colour (red in the low
// byte), or SystemFlag + n for the desktop's colour number n, which follows the user's
// theme through the widget's palette.
class PlatformColor final
{
public:
    static constexpr quint32 SystemFlag = 0x80000000u;
    enum System : quint32 {
        ScrollBar,
        Desktop,
        ActiveCaption,
        InactiveCaption,
        Menu,
        WindowBackground,
        WindowFrame,
        MenuText,
        WindowText,
        CaptionText,
        ActiveBorder,
        InactiveBorder,
        AppWorkspace,
        Highlight,
        HighlightText,
        ButtonFace,
        ButtonShadow,
        GrayText,
        ButtonText,
        InactiveCaptionText,
        ButtonHighlight,
        DarkShadow3D,
        Light3D,
        InfoText,
        InfoBackground,
        Unassigned,
        HotLight,
        GradientActiveCaption,
        GradientInactiveCaption,
        MenuHighlight,
        MenuBar
    };

    static QColor toColor(quint32 value, const QPalette &palette);
};
