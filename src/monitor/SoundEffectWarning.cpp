// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/SoundEffectWarning.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

SoundEffectWarning::SoundEffectWarning() = default;

SoundEffectWarning::~SoundEffectWarning() = default;

void SoundEffectWarning::play(const QString &path)
{
    // Asked at every warning, not once, so that a headset plugged in later is heard.
    if (QMediaDevices::audioOutputs().isEmpty())
        return;
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();

    std::unique_ptr<QSoundEffect> &effect = m_effects[path];
    // A file that could not be loaded is tried afresh: it may have been restored since.
    if (effect && effect->status() == QSoundEffect::Error)
        effect.reset();
    if (!effect) {
        effect = std::make_unique<QSoundEffect>(output);
        effect->setSource(QUrl::fromLocalFile(path));
    } else if (effect->audioDevice() != output) {
        effect->setAudioDevice(output);
    }
    // Loading is asynchronous; a play() before the file is loaded starts it once it is.
    effect->play();
}

// What the program's SoundModule asks this module for.
extern "C" Q_DECL_EXPORT WarningSound *varnolt_warning_sound()
{
    return new SoundEffectWarning;
}
