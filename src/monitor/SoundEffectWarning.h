// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/WarningSound.h"

#include <QString>

#include <map>
#include <memory>

class QSoundEffect;

// The warning sounds through Qt Multimedia. Each file is loaded once into a QSoundEffect that
// is kept for the run, so a warning starts without delay and never holds up the poll.
class SoundEffectWarning final : public WarningSound
{
public:
    SoundEffectWarning();
    ~SoundEffectWarning() override;
    SoundEffectWarning(const SoundEffectWarning &) = delete;
    SoundEffectWarning &operator=(const SoundEffectWarning &) = delete;

    // Starts the file and returns at once; nothing happens without an audio output, and a
    // missing or unplayable file stays silent.
    void play(const QString &path) override;

private:
    std::map<QString, std::unique_ptr<QSoundEffect>> m_effects;
};
