// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Plays a warning sound file without waiting for it; silent when there is no audio output
// or the file cannot be played.
class WarningSound
{
public:
    virtual ~WarningSound() = default;
    virtual void play(const QString &path) = 0;
};
