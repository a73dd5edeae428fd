// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/WarningSound.h"

#include <QString>

#include <memory>

// The warning sounds, with Qt Multimedia and the audio libraries under it loaded only when the
// first warning sounds: they live in a module of their own (varnolt-sound, next to the
// program), which a run that never warns, the most of them, never maps. Without the module
// the warnings are silent and the first one says why.
class SoundModule final : public WarningSound
{
public:
    // The module's file name without its suffix, in the program's own folder.
    static constexpr const char *FileName = "varnolt-sound";
    // The function the module exports: a new player of warning sounds.
    static constexpr const char *Factory = "varnolt_warning_sound";

    explicit SoundModule(QString folder);
    ~SoundModule() override;
    SoundModule(const SoundModule &) = delete;
    SoundModule &operator=(const SoundModule &) = delete;

    void play(const QString &path) override;

    // Whether the module has been loaded (for tests and the benchmark).
    bool loaded() const { return m_player != nullptr; }

private:
    QString m_folder;
    std::unique_ptr<WarningSound> m_player;
    bool m_failed = false; // the module could not be loaded: not tried again
};
