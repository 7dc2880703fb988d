// Load, filter and commit of a favourites file with 100 groups of 100 stations each.
// Run: build/bench/library/bench_library_favourites

#include "library/favourites.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

struct BigFile {
    BigFile() {
        QByteArray xml = "<?xml version=\"1.0\"?>\n<stations>\n";
        for (int g = 0; g < 100; ++g) {
            // Every other group collapsed, as a user's file would be.
            xml += "<group Name=\"Group " + QByteArray::number(g) + "\" rolled=\"" +
                   QByteArray::number(g % 2) + "\" Color=\"$" + QByteArray::number(g * 4099, 16) +
                   "\">\n";
            for (int s = 0; s < 100; ++s) {
                const QByteArray n = QByteArray::number(g * 100 + s);
                xml += "<station><Url>http://stream" + n +
                       ".example.org:8000/live</Url><Name>Radio " + n +
                       (s % 7 == 0 ? " Rock" : " Jazz") + "</Name><Info>Genre " + n +
                       " - the best music of the region</Info><Bitrate>128</Bitrate>"
                       "<Video>0</Video></station>\n";
            }
            xml += "</group>\n";
        }
        xml += "</stations>\n";
        path = dir.filePath(QStringLiteral("stations.xml"));
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(xml);
    }
    QTemporaryDir dir;
    QString path;
};

BigFile& bigFile() {
    static BigFile file;
    return file;
}

void BM_LoadAfterCommit(benchmark::State& state) {
    tl::FavouritesDocument favs(bigFile().path);
    for (auto _ : state) {
        const tl::LoadResult r = favs.LoadFavs({});
        benchmark::DoNotOptimize(r);
    }
    state.counters["rows"] = favs.rowCount();
}
BENCHMARK(BM_LoadAfterCommit)->Unit(benchmark::kMillisecond);

void BM_Filter(benchmark::State& state, const char* pattern) {
    tl::FavouritesDocument favs(bigFile().path);
    favs.setFilter(QString::fromLatin1(pattern));
    for (auto _ : state) {
        const tl::LoadResult r = favs.LoadFavs(QString::fromLatin1(pattern));
        benchmark::DoNotOptimize(r);
    }
    state.counters["rows"] = favs.rowCount();
}
BENCHMARK_CAPTURE(BM_Filter, word, "rock")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter, wildcards, "r*o?k*9")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter, no_match, "zzz")->Unit(benchmark::kMillisecond);

void BM_Commit(benchmark::State& state) {
    tl::FavouritesDocument favs(bigFile().path);
    favs.LoadFavs({});
    for (auto _ : state) {
        const tl::CommitResult r = favs.CommitFavs();
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_Commit)->Unit(benchmark::kMillisecond);

} // namespace
