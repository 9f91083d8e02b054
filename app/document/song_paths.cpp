// The song-as-document helpers.
#include "app/document/song_paths.h"

#include <QFile>

#include "foundation/string_table.h"
#include "foundation/text.h"

namespace tunemill {

namespace {

// The last component of a path, cut at "/" (and at "\" for paths written on Windows).
std::string_view last_component(std::string_view path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string untitled_song_path(const std::string& song_folder) {
    char name[50];
    load_string(S_UNTITLED, name, sizeof name);
    if (song_folder.empty()) return name;
    return path_join(song_folder, name);
}

QString song_window_title(const std::string& song_path) {
    std::string_view name = last_component(song_path);
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    return QStringLiteral("%1 - %2").arg(QString::fromUtf8(PRODUCT_NAME),
                                         to_qstring_path(std::string(name)));
}

std::string path_without_extension(const std::string& path) {
    const std::string_view name = last_component(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return path;
    return path.substr(0, path.size() - (name.size() - dot));
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

QString to_qstring_path(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string from_qstring_path(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace tunemill
