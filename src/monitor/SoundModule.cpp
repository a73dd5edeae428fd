// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/SoundModule.h"

#include <QLibrary>
#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcSound, "varnolt.sound")
}

SoundModule::SoundModule(QString folder)
    : m_folder(std::move(folder))
{
}

// The module stays mapped for the run: the player's code lives in it.
SoundModule::~SoundModule() = default;

void SoundModule::play(const QString &path)
{
    if (!m_player && !m_failed) {
        QLibrary module(m_folder + QLatin1Char('/') + QLatin1String(FileName));
        using Make = WarningSound *(*)();
        if (const auto make = reinterpret_cast<Make>(module.resolve(Factory)))
            m_player.reset(make());
        m_failed = !m_player;
        if (m_failed)
            qCWarning(lcSound) << "warning sounds are off:" << module.errorString();
    }
    if (m_player)
        m_player->play(path);
}
