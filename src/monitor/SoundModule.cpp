// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/SoundModule.h"

#include "core/ProgramModule.h"

#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcSound, "varnolt.sound")
}

SoundModule::SoundModule(QString folder)
    : m_folder(std::move(folder))
{
}

SoundModule::~SoundModule() = default;

void SoundModule::play(const QString &path)
{
    if (!m_player && !m_failed) {
        QString error;
        using Make = WarningSound *(*)();
        if (const auto make = reinterpret_cast<Make>(ProgramModule::resolve(m_folder, FileName, Factory, error)))
            m_player.reset(make());
        m_failed = !m_player;
        if (m_failed)
            qCWarning(lcSound) << "warning sounds are off:" << error;
    }
    if (m_player)
        m_player->play(path);
}
