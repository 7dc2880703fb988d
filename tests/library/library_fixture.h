#pragma once
// Favourites files in a temporary folder, and a compact text form of a favourites file
// ("A[a1,a2] B[]") that the tests compare against.

#include "library/favourites.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <pugixml.hpp>

namespace tl::test {

inline QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// <group Name=.. rolled=..> with stations named by `names` (Url "http://x/<name>").
inline QByteArray group(const char* name, int rolled, std::initializer_list<const char*> names,
                        const char* extraAttributes = "") {
    QByteArray out = QByteArray("<group Name=\"") + name + "\" rolled=\"" +
                     QByteArray::number(rolled) + "\" " + extraAttributes + ">";
    for (const char* n : names)
        out += QByteArray("<station><Url>http://x/") + n + "</Url><Name>" + n +
               "</Name><Info>info " + n + "</Info><Bitrate>128</Bitrate><Video>0</Video></station>";
    return out + "</group>";
}

inline QByteArray root(std::initializer_list<QByteArray> groups) {
    QByteArray out = "<?xml version=\"1.0\"?>\n<stations>";
    for (const QByteArray& g : groups)
        out += g;
    return out + "</stations>\n";
}

// "A[a1,a2] B[b1]" from the file on disk (station names from their "Name" children).
inline std::string outline(const QString& path) {
    pugi::xml_document doc;
    const QByteArray bytes = readBytes(path);
    if (!doc.load_buffer(bytes.constData(), static_cast<std::size_t>(bytes.size())))
        return "<unreadable>";
    std::string out;
    for (pugi::xml_node g : doc.document_element().children()) {
        if (!out.empty())
            out += ' ';
        out += g.attribute("Name").value();
        out += '[';
        bool first = true;
        for (pugi::xml_node s : g.children()) {
            if (!first)
                out += ',';
            first = false;
            out += s.child("Name").text().get();
        }
        out += ']';
    }
    return out;
}

class FavouritesFixture : public ::testing::Test {
protected:
    QString path() const { return dir.filePath(QStringLiteral("stations.xml")); }
    FavouritesDocument& load(const QByteArray& content, const QString& filter = {}) {
        writeBytes(path(), content);
        favs = std::make_unique<FavouritesDocument>(path());
        favs->setFilter(filter);
        last = favs->LoadFavs(filter);
        return *favs;
    }
    // "G:A(2) S:a1 S:a2" for the rows of the last load.
    std::string rows() const {
        std::string out;
        for (const TStation& s : favs->stations()) {
            if (!out.empty())
                out += ' ';
            out += (s.isGroup() ? "G:" : "S:") + s.Name.toStdString();
            if (s.isGroup())
                out += "(" + s.Info.toStdString() + ")";
        }
        return out;
    }

    QTemporaryDir dir;
    std::unique_ptr<FavouritesDocument> favs;
    LoadResult last;
};

} // namespace tl::test
