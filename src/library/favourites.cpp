#include "library/favourites.h"
#include "common/local_file.h"

#include "common/ini_file.h"
#include "common/wildcard.h"
#include "library/xml_text.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <sstream>
#include <string>

namespace tl {

namespace {

constexpr unsigned kParseFlags = pugi::parse_default | pugi::parse_ws_pcdata_single;

QString fromUtf8(const char* text) {
    return QString::fromUtf8(text);
}

std::string toUtf8(const QString& text) {
    return text.toStdString();
}

pugi::xml_node nthElement(pugi::xml_node parent, int index) {
    if (!parent || index < 0)
        return {};
    int i = 0;
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element)
            continue;
        if (i == index)
            return child;
        ++i;
    }
    return {};
}

int elementCount(pugi::xml_node parent) {
    int n = 0;
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element)
            ++n;
    return n;
}

std::optional<int> parseAttributeInt(pugi::xml_attribute attribute) {
    return IniFile::parseInt(fromUtf8(attribute.value()));
}

// Text for the message box when the file cannot be used at all.
QString parseErrorText(const QString& path, const pugi::xml_parse_result& result) {
    return QStringLiteral("%1: %2 (at byte %3)")
        .arg(QFileInfo(path).fileName(), fromUtf8(result.description()))
        .arg(static_cast<qlonglong>(result.offset));
}

QString backupName(const QString& path) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = path + QStringLiteral(".broken-") + stamp;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate =
            path + QStringLiteral(".broken-") + stamp + QLatin1Char('-') + QString::number(n);
    return candidate;
}

// All the character data directly inside an element. pugixml drops comments and processing
// instructions while reading, leaving the text around them as separate nodes that one commit
// later are written, and read back, as one: the first node alone would change on a commit.
std::string elementText(pugi::xml_node element) {
    std::string text;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            text += child.value();
    }
    return text;
}

} // namespace

QString childText(pugi::xml_node element, const char* name) {
    pugi::xml_node child = element.child(name);
    if (!child)
        child = element.append_child(name);
    return fromUtf8(elementText(child).c_str());
}

FavouritesDocument::FavouritesDocument(QString path) : path_(std::move(path)) {}

const TStation* FavouritesDocument::row(int index) const {
    if (index < 0 || index >= rowCount())
        return nullptr;
    return &stations_[static_cast<std::size_t>(index)];
}

void FavouritesDocument::clearRows() {
    stations_.clear();
    doc_.reset();
    loadFailed_ = false;
    rowsFiltered_ = filterActive();
}

LoadResult FavouritesDocument::LoadFavs(const QString& filterText) {
    const LocalFile local = readLocalFile(path_, kMaxFavouritesBytes);
    if (local.status == LocalFile::Status::NotRegular ||
        local.status == LocalFile::Status::TooLarge) {
        clearRows();
        loadFailed_ = true; // kept as it is: never saved over
        LoadResult result;
        result.ok = false;
        result.error = QStringLiteral("%1 %2").arg(QFileInfo(path_).fileName(), local.error());
        return result;
    }
    if (local.status == LocalFile::Status::Ok)
        return loadFromBytes(local.bytes, filterText);
    QFile file(path_);
    if (!file.exists()) {
        // No favourites yet (a first run): an empty list, nothing to complain about.
        clearRows();
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        clearRows();
        // A missing file has nothing to keep; an existing unreadable one does.
        loadFailed_ = file.exists();
        LoadResult result;
        result.ok = false;
        result.error =
            QStringLiteral("%1: %2").arg(QFileInfo(path_).fileName(), file.errorString());
        return result;
    }
    return loadFromBytes(file.readAll(), filterText);
}

LoadResult FavouritesDocument::loadFromBytes(const QByteArray& bytes, const QString& filterText) {
    LoadResult result;
    clearRows();
    const XmlUtf8 text = xmlToUtf8(bytes);
    if (!text.ok) {
        loadFailed_ = true;
        result.ok = false;
        result.error = QStringLiteral("%1: %2").arg(QFileInfo(path_).fileName(), text.error);
        return result;
    }
    const pugi::xml_parse_result parsed =
        doc_.load_buffer(text.utf8.constData(), static_cast<std::size_t>(text.utf8.size()),
                         kParseFlags, pugi::encoding_utf8);
    if (!parsed) {
        doc_.reset();
        loadFailed_ = true;
        result.ok = false;
        result.error = parseErrorText(path_, parsed);
        return result;
    }

    const bool openAll = !filterText.isEmpty() && filterActive();
    pugi::xml_node root = doc_.document_element();
    int i = 0;
    for (pugi::xml_node group = root.first_child(); group; group = group.next_sibling()) {
        if (group.type() != pugi::node_element)
            continue;
        const pugi::xml_attribute nameAttr = group.attribute("Name");
        const pugi::xml_attribute rolledAttr = group.attribute("rolled");
        const pugi::xml_attribute colorAttr = group.attribute("Color");
        const QString where = QStringLiteral("Group %1").arg(i + 1);
        if (!nameAttr || !rolledAttr) {
            result.ok = false;
            result.error = where + (nameAttr ? QStringLiteral(" has no \"rolled\" attribute.")
                                             : QStringLiteral(" has no \"Name\" attribute."));
            return result;
        }
        const std::optional<int> rolled = parseAttributeInt(rolledAttr);
        if (!rolled) {
            result.ok = false;
            result.error =
                QStringLiteral("%1 (%2): \"%3\" is not a valid integer value.")
                    .arg(where, fromUtf8(nameAttr.value()), fromUtf8(rolledAttr.value()));
            return result;
        }
        uint32_t color = kDefaultGroupColor;
        if (colorAttr) {
            const std::optional<int> value = parseAttributeInt(colorAttr);
            if (!value) {
                result.ok = false;
                result.error =
                    QStringLiteral("%1 (%2): \"%3\" is not a valid colour value.")
                        .arg(where, fromUtf8(nameAttr.value()), fromUtf8(colorAttr.value()));
                return result;
            }
            color = static_cast<uint32_t>(*value);
        }

        TStation rec;
        rec.Kind = 0;
        rec.Name = fromUtf8(nameAttr.value());
        rec.Color = color;
        rec.GroupIndex = i;
        rec.StationIndex = 0;
        rec.Info = QString::number(elementCount(group));
        rec.Rolled = *rolled;
        stations_.push_back(rec);

        if (*rolled != 1 || openAll) {
            int j = 0;
            for (pugi::xml_node st = group.first_child(); st; st = st.next_sibling()) {
                if (st.type() != pugi::node_element)
                    continue;
                const QString name = childText(st, "Name");
                const QString info = childText(st, "Info");
                bool keep = true;
                if (filterActive()) {
                    const std::optional<bool> byName = wildcardContains(name, filter_);
                    if (!byName) {
                        // An unfinished pattern (an open "[") while typing: list nothing.
                        result.filterInvalid = true;
                        keep = false;
                    } else {
                        keep = *byName || wildcardContains(info, filter_).value_or(false);
                    }
                }
                if (keep) {
                    TStation s;
                    s.Kind = 1;
                    s.Name = name;
                    s.Info = info;
                    s.Url = childText(st, "Url");
                    s.Bitrate = childText(st, "Bitrate");
                    s.Video = childText(st, "Video") == QLatin1String("1");
                    s.GroupIndex = i;
                    s.StationIndex = j;
                    stations_.push_back(s);
                }
                ++j;
            }
        }
        ++i;
    }
    result.statusText = QString::number(rowCount()) + QStringLiteral(" stations");
    return result;
}

QByteArray FavouritesDocument::serialize() {
    rootElement(true); // never write a file the next load would refuse
    // The tree holds UTF-8 whatever the file was read from; say so in the declaration.
    if (doc_.first_child().type() != pugi::node_declaration) {
        pugi::xml_node decl = doc_.prepend_child(pugi::node_declaration);
        decl.append_attribute("version") = "1.0";
        decl.append_attribute("encoding") = "UTF-8";
    }
    std::ostringstream out;
    doc_.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    // Character references such as "&#xD800;" reach the tree as bytes that are not UTF-8.
    return escapeCarriageReturns(validUtf8(QByteArray::fromStdString(out.str())));
}

CommitResult FavouritesDocument::CommitFavs() {
    CommitResult result;
    const QByteArray text = serialize();
    if (loadFailed_ && QFileInfo::exists(path_)) {
        const QString keep = backupName(path_);
        if (!QFile::rename(path_, keep)) {
            result.error = QStringLiteral("The favourites file %1 could not be read and could not "
                                          "be moved aside to %2; nothing was written.")
                               .arg(path_, keep);
            return result;
        }
        result.backupPath = keep;
        loadFailed_ = false;
    }
    if (!writeFileAtomically(path_, text)) {
        result.error = QStringLiteral("Can't write %1.").arg(path_);
        // Put the unreadable file back where it was, so that nothing has changed on disk.
        if (!result.backupPath.isEmpty() && !QFileInfo::exists(path_) &&
            QFile::rename(result.backupPath, path_)) {
            result.backupPath.clear();
            loadFailed_ = true;
        }
        return result;
    }
    result.written = true;
    result.load = LoadFavs(QString());
    return result;
}

bool FavouritesDocument::IsFavouriteUrl(const QString& url) const {
    const std::string wanted = toUtf8(url);
    const pugi::xml_node root = doc_.document_element();
    for (pugi::xml_node group = root.first_child(); group; group = group.next_sibling()) {
        if (group.type() != pugi::node_element)
            continue;
        for (pugi::xml_node st = group.first_child(); st; st = st.next_sibling()) {
            if (st.type() == pugi::node_element && wanted == elementText(st.child("Url")))
                return true;
        }
    }
    return false;
}

QStringList FavouritesDocument::groupNames() const {
    QStringList names;
    const pugi::xml_node root = doc_.document_element();
    for (pugi::xml_node group = root.first_child(); group; group = group.next_sibling())
        if (group.type() == pugi::node_element)
            names << fromUtf8(group.attribute("Name").value());
    return names;
}

QList<FavouritesDocument::MenuGroup> FavouritesDocument::menuEntries(int maxGroups,
                                                                     int maxStations) const {
    QList<MenuGroup> groups;
    const pugi::xml_node root = doc_.document_element();
    for (pugi::xml_node group = root.first_child(); group && groups.size() < maxGroups;
         group = group.next_sibling()) {
        if (group.type() != pugi::node_element)
            continue;
        MenuGroup entry{fromUtf8(group.attribute("Name").value()), {}};
        for (pugi::xml_node station = group.first_child();
             station && entry.stations.size() < maxStations; station = station.next_sibling()) {
            if (station.type() == pugi::node_element)
                entry.stations.append({fromUtf8(elementText(station.child("Name")).c_str()),
                                       fromUtf8(elementText(station.child("Url")).c_str())});
        }
        groups.append(std::move(entry));
    }
    return groups;
}

int FavouritesDocument::groupCount() const {
    return elementCount(doc_.document_element());
}

pugi::xml_node FavouritesDocument::rootElement(bool create) {
    pugi::xml_node root = doc_.document_element();
    if (!root && create) {
        // No usable file: start a new document rather than refusing every change.
        doc_.reset();
        pugi::xml_node decl = doc_.append_child(pugi::node_declaration);
        decl.append_attribute("version") = "1.0";
        decl.append_attribute("encoding") = "UTF-8";
        root = doc_.append_child("stations");
    }
    return root;
}

pugi::xml_node FavouritesDocument::groupAt(int groupIndex) const {
    return nthElement(doc_.document_element(), groupIndex);
}

pugi::xml_node FavouritesDocument::stationAt(int groupIndex, int stationIndex) const {
    return nthElement(groupAt(groupIndex), stationIndex);
}

void FavouritesDocument::fillStation(pugi::xml_node station, const StationFields& fields) {
    station.append_child("Url").text().set(toUtf8(fields.url).c_str());
    station.append_child("Name").text().set(toUtf8(fields.name).c_str());
    station.append_child("Info").text().set(toUtf8(fields.info).c_str());
    station.append_child("Bitrate").text().set(toUtf8(fields.bitrate).c_str());
    station.append_child("Video").text().set(fields.video ? "1" : "0");
}

bool FavouritesDocument::setRolled(int groupIndex, int rolled) {
    pugi::xml_node group = groupAt(groupIndex);
    if (!group)
        return false;
    pugi::xml_attribute attr = group.attribute("rolled");
    if (!attr)
        attr = group.append_attribute("rolled");
    attr.set_value(std::to_string(rolled).c_str());
    return true;
}

bool FavouritesDocument::insertGroupAtTop(const QString& name, const QString& rolled,
                                          const QString& color) {
    pugi::xml_node root = rootElement(true);
    pugi::xml_node first = nthElement(root, 0);
    pugi::xml_node group =
        first ? root.insert_child_before("group", first) : root.append_child("group");
    group.append_attribute("rolled") = toUtf8(rolled).c_str();
    group.append_attribute("Name") = toUtf8(name).c_str();
    group.append_attribute("Color") = toUtf8(color).c_str();
    return true;
}

bool FavouritesDocument::setGroupNameAndColor(int groupIndex, const QString& name, uint32_t color) {
    pugi::xml_node group = groupAt(groupIndex);
    if (!group)
        return false;
    for (const char* key : {"Name", "Color"})
        if (!group.attribute(key))
            group.append_attribute(key);
    group.attribute("Name").set_value(toUtf8(name).c_str());
    group.attribute("Color").set_value(std::to_string(color).c_str());
    return true;
}

bool FavouritesDocument::appendStation(int groupIndex, const StationFields& fields) {
    pugi::xml_node group = groupAt(groupIndex);
    if (!group)
        return false;
    fillStation(group.append_child("station"), fields);
    return true;
}

bool FavouritesDocument::replaceStation(int groupIndex, int stationIndex,
                                        const StationFields& fields) {
    pugi::xml_node old = stationAt(groupIndex, stationIndex);
    if (!old)
        return false;
    pugi::xml_node group = old.parent();
    fillStation(group.insert_child_before("station", old), fields);
    group.remove_child(old);
    return true;
}

bool FavouritesDocument::deleteGroup(int groupIndex) {
    pugi::xml_node group = groupAt(groupIndex);
    return group && group.parent().remove_child(group);
}

bool FavouritesDocument::deleteStation(int groupIndex, int stationIndex) {
    pugi::xml_node station = stationAt(groupIndex, stationIndex);
    return station && station.parent().remove_child(station);
}

bool FavouritesDocument::moveRow(int dragged, int target) {
    const TStation* s = row(dragged);
    const TStation* t = row(target);
    if (!s || !t || dragged == target)
        return false;
    if (s->isGroup()) {
        pugi::xml_node group = groupAt(s->GroupIndex);
        pugi::xml_node before = groupAt(t->GroupIndex);
        if (!group || !before)
            return false;
        if (group == before)
            return true; // onto a station of its own group: the order stays
        pugi::xml_node root = group.parent();
        root.insert_copy_before(group, before);
        root.remove_child(group);
        return true;
    }
    pugi::xml_node station = stationAt(s->GroupIndex, s->StationIndex);
    pugi::xml_node toGroup = groupAt(t->GroupIndex);
    if (!station || !toGroup)
        return false;
    if (t->isGroup()) {
        toGroup.prepend_copy(station);
    } else {
        pugi::xml_node before = stationAt(t->GroupIndex, t->StationIndex);
        if (!before)
            return false;
        toGroup.insert_copy_before(station, before);
    }
    station.parent().remove_child(station);
    return true;
}

bool FavouritesDocument::importStations(const QString& sourcePath) {
    QFile file(sourcePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return importStationsFrom(file.readAll());
}

bool FavouritesDocument::importStationsFrom(const QByteArray& sourceBytes) {
    const XmlUtf8 text = xmlToUtf8(sourceBytes);
    if (!text.ok)
        return false;
    pugi::xml_document source;
    if (!source.load_buffer(text.utf8.constData(), static_cast<std::size_t>(text.utf8.size()),
                            pugi::parse_default, pugi::encoding_utf8))
        return false;
    const pugi::xml_node sourceRoot = source.document_element();
    if (!sourceRoot)
        return false;

    insertGroupAtTop(QStringLiteral("Exported stations"), QStringLiteral("0"),
                     QStringLiteral("$666666"));
    pugi::xml_node group = groupAt(0);
    for (pugi::xml_node item = sourceRoot.first_child(); item; item = item.next_sibling()) {
        if (item.type() != pugi::node_element)
            continue;
        pugi::xml_node station = group.append_child("station");
        for (const auto& [from, to] :
             {std::pair{"url", "Url"}, std::pair{"name", "Name"}, std::pair{"info", "Info"},
              std::pair{"bitrate", "Bitrate"}, std::pair{"video", "Video"}})
            station.append_child(to).text().set(elementText(item.child(from)).c_str());
    }
    return true;
}

} // namespace tl
