// SPDX-License-Identifier: GPL-3.0-or-later
#include "stats/ChartChoices.h"

#include <QSettings>

namespace {

constexpr int ViewCount = 8;

// A stored whole number within [0, count), or the default.
int stored(const QSettings &settings, const char *key, int count)
{
    bool ok = false;
    const int value = settings.value(QLatin1String(key)).toString().toInt(&ok);
    return ok && value >= 0 && value < count ? value : 0;
}

} // namespace

ChartChoices ChartChoices::load()
{
    QSettings settings(QStringLiteral("Varnolt"), QStringLiteral("Varnolt"));
    settings.beginGroup(QStringLiteral("Chart"));
    ChartChoices choices;
    choices.dimensions = stored(settings, "2D3D", 2);
    choices.kind = stored(settings, "ChartLine", 3);
    choices.view = stored(settings, "ChartType", ViewCount);
    choices.stacked = stored(settings, "Stacked", 2);
    return choices;
}

void ChartChoices::save() const
{
    QSettings settings(QStringLiteral("Varnolt"), QStringLiteral("Varnolt"));
    settings.beginGroup(QStringLiteral("Chart"));
    settings.setValue(QStringLiteral("2D3D"), QString::number(dimensions));
    settings.setValue(QStringLiteral("ChartLine"), QString::number(kind));
    settings.setValue(QStringLiteral("ChartType"), QString::number(view));
    settings.setValue(QStringLiteral("Stacked"), QString::number(stacked));
}
