// Commits stations.xml and config.ini in FOLDER over and over, as the station manager and the
// player's close do, until it is killed. The crash-safety test kills it at random moments.
//
//   commit_loop FOLDER
//
// Each round loads both files, flips the first group's name between "A" and "B" and the
// player's x position between 1 and 2, and commits them. "ready" is printed after the first
// round. Exit status 3: a file it loaded was unreadable or incomplete.

#include "common/ini_file.h"
#include "library/favourites.h"
#include "player/player_config.h"

#include <QDir>

#include <cstdio>

using namespace tl;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: commit_loop FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QString ini = folder.filePath(QStringLiteral("config.ini"));
    FavouritesDocument favs(folder.filePath(QStringLiteral("stations.xml")));
    for (bool first = true;; first = false) {
        const LoadResult load = favs.LoadFavs(QString());
        if (!load.ok || favs.loadFailed() || favs.groupCount() == 0) {
            std::fprintf(stderr, "stations.xml unreadable: %s\n", qPrintable(load.error));
            return 3;
        }
        const bool wasA = favs.groupNames().front() == QLatin1String("A");
        favs.setGroupNameAndColor(0, wasA ? QStringLiteral("B") : QStringLiteral("A"), 255);
        const CommitResult commit = favs.CommitFavs();
        if (!commit.written) {
            std::fprintf(stderr, "%s\n", qPrintable(commit.error));
            return 4;
        }

        const IniFile before = IniFile::load(ini);
        if (!before.find(u"Padding", u"end")) {
            std::fprintf(stderr, "config.ini incomplete\n");
            return 3;
        }
        CloseValues values;
        values.position = {before.intValue(u"General", u"x", 0) == 1 ? 2 : 1, 7};
        if (const std::optional<QString> error = saveCloseValues(ini, values)) {
            std::fprintf(stderr, "%s\n", qPrintable(*error));
            return 4;
        }
        if (first) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }
}
