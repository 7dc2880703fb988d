#include "settings/about_info.h"

#include <QCoreApplication>
#include <QUrl>

#include <cmath>

#ifndef TUNELARK_UPDATE_URL
#define TUNELARK_UPDATE_URL ""
#endif

namespace tl {

QString VersionStringPath(uint16_t language, uint16_t codePage, const QString& valueName) {
    return QStringLiteral("StringFileInfo\\0%1").arg(language, 0, 16) +
           QStringLiteral("0%1\\").arg(codePage, 0, 16) + valueName;
}

QString QueryVersionString(const VersionResource& resource, const QString& valueName) {
    if (!resource.translation)
        return {};
    const auto found = resource.strings.find(
        VersionStringPath(resource.translation->first, resource.translation->second, valueName));
    return found == resource.strings.end() ? QString() : found->second;
}

VersionResource OwnVersionResource() {
    VersionResource r;
    r.translation = std::make_pair(uint16_t{0x0409}, uint16_t{0x04B0});
    r.strings[VersionStringPath(0x0409, 0x04B0, QStringLiteral("FileVersion"))] =
        QStringLiteral(TUNELARK_VERSION);
    return r;
}

QString GetVersionString(const QString& fileName, const QString& valueName) {
    const QString self =
        QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    if (fileName.isEmpty() || fileName != self)
        return {};
    return QueryVersionString(OwnVersionResource(), valueName);
}

QString AboutText(const QString& version) {
    return QStringLiteral("Tunelark v") + version +
           QStringLiteral("\nInternet radio player for the desktop.\n\n"
                          "Sound through FFmpeg and SDL2, streams and pages through libcurl, "
                          "windows through Qt, favourites through pugixml.\n\n"
                          "Thanks to the stations and their listeners.");
}

QString UpdateAddress(const QString& base, const QString& version) {
    return base + QStringLiteral("?product=Tunelark&version=") +
           QString::fromLatin1(QUrl::toPercentEncoding(version));
}

QString DefaultUpdateBase() {
    return QStringLiteral(TUNELARK_UPDATE_URL).trimmed();
}

int LogoLeft(int windowWidth, int logoWidth) {
    return static_cast<int>(std::nearbyint(windowWidth / 2.0 - logoWidth / 2.0));
}

} // namespace tl
