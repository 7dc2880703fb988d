#include "library/station.h"

namespace tl {

QString groupCaption(const TStation& group) {
    return group.Name + QStringLiteral(" (") + group.Info + QLatin1Char(')');
}

QString bitrateText(const TStation& station) {
    if (station.Bitrate == QLatin1String("0"))
        return QStringLiteral("unknown");
    return station.Bitrate + QStringLiteral(" kbps");
}

QString menuText(const QString& name) {
    QString text;
    text.reserve(name.size());
    for (const QChar c : name) {
        if (c == u'&')
            text += QStringLiteral("&&");
        else if (c == u'\t' || c == u'\r' || c == u'\n')
            text += u' ';
        else
            text += c;
    }
    return text;
}

const QStringList& bitrateChoices() {
    static const QStringList choices{
        QStringLiteral("unknown"), QStringLiteral("24"),  QStringLiteral("32"),
        QStringLiteral("48"),      QStringLiteral("56"),  QStringLiteral("64"),
        QStringLiteral("80"),      QStringLiteral("96"),  QStringLiteral("112"),
        QStringLiteral("128"),     QStringLiteral("160"), QStringLiteral("192"),
        QStringLiteral("224"),     QStringLiteral("256"), QStringLiteral("320"),
        QStringLiteral("384")};
    return choices;
}

int bitrateChoiceIndex(const QString& bitrate) {
    return static_cast<int>(bitrateChoices().indexOf(bitrate.toLower()));
}

} // namespace tl
