#include "DiaryImport.h"

#include "Cp932.h"
#include "PictureFiles.h"
#include "Pictures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimeZone>
#include <QUrl>
#include <algorithm>
#include <yaml-cpp/yaml.h>
#include <zip.h>

using namespace Qt::StringLiterals;

namespace diaryimport {

namespace {

    // One entry of a source before the entries of its day are joined.
    struct TEntry {
        QDate Day;
        QDateTime At; // orders the entries of a day; invalid sorts first
        int Order = 0; // the entry's place in its source, for entries of the same time
        QString Text;
    };

    struct TReadError {
        QString Message;
    };

    QString withoutTrailingBlanks(QString text)
    {
        qsizetype end = text.size();
        while (end > 0 && text[end - 1].isSpace())
            --end;
        text.truncate(end);
        return text;
    }

    QString plainLineBreaks(QString text)
    {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(u'\r', u'\n');
        return text;
    }

    // The entries of each day in time order, an empty line between them.
    void joinEntries(std::vector<TEntry> &entries, TSource &source)
    {
        std::stable_sort(entries.begin(), entries.end(), [](const TEntry &a, const TEntry &b) {
            if (a.Day != b.Day)
                return a.Day < b.Day;
            if (a.At.isValid() != b.At.isValid())
                return !a.At.isValid();
            return a.At < b.At;
        });
        for (const TEntry &entry : entries) {
            QString &day = source.Days[entry.Day];
            if (!day.isEmpty())
                day += QStringLiteral("\n\n");
            day += entry.Text;
        }
    }

    // An entry's text and day checked: true when it comes in.
    bool acceptEntry(const TEntry &entry, const QString &where, TSource &source)
    {
        if (!entry.Day.isValid()) {
            source.Skipped << TSkipped { where, TWhy::NoDate, {} };
            return false;
        }
        if (entry.Day.year() < 1900) {
            source.Skipped << TSkipped { where, TWhy::Before1900, {} };
            return false;
        }
        if (entry.Text.isEmpty()) {
            source.Skipped << TSkipped { where, TWhy::NoText, {} };
            return false;
        }
        return true;
    }

    QString jsonError(const QString &name, const QJsonParseError &error)
    {
        return QStringLiteral("%1 is no JSON: %2 at byte %3")
            .arg(name, error.errorString(), QString::number(error.offset));
    }

    QJsonObject parseObject(const QByteArray &bytes, const QString &name)
    {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
        if (error.error != QJsonParseError::NoError)
            throw TReadError { jsonError(name, error) };
        if (!doc.isObject() || !doc.object().value(u"entries").isArray())
            throw TReadError { QStringLiteral("%1 holds no list of entries").arg(name) };
        return doc.object();
    }

    // Which of the two JSON exports an object is: by the first entry's fields.
    std::optional<TFormat> jsonFormat(const QJsonObject &root)
    {
        const QJsonArray entries = root.value(u"entries").toArray();
        const QJsonObject first = entries.isEmpty() ? QJsonObject() : entries.first().toObject();
        if (first.contains(u"creationDate") || (entries.isEmpty() && root.contains(u"metadata")))
            return TFormat::DayOne;
        if (first.contains(u"date") || (entries.isEmpty() && root.contains(u"tags")))
            return TFormat::Jrnl;
        return std::nullopt;
    }

    QString entryName(const QString &file, qsizetype index, const QString &when)
    {
        return QStringLiteral("%1 entry %2%3")
            .arg(file, QString::number(index + 1),
                when.isEmpty() ? QString() : QStringLiteral(" (") + when + u')');
    }

    const struct {
        const char *Key;
        const char *Folder;
        const char *Kind; // how the text names it where its link stood
    } kDayOneMedia[] = { { "photos", "photos", "写真" }, { "videos", "videos", "動画" },
        { "audios", "audios", "音声" }, { "pdfAttachments", "pdfs", "PDF" } };

    // Where a journal's media are: its zip or its folder, read by their names in the export
    // ("photos/<md5>.jpeg"); nothing when one is not there.
    struct TMediaPlace {
        std::function<std::optional<QByteArray>(const QString &name)> Read;
        QString Zip;
        QString Folder;
    };

    // The zone an entry was written in: a name of the time zone database or an offset from UTC
    // ("GMT+0900", "UTC+09:00"); an invalid zone for anything else.
    QTimeZone zoneNamed(const QString &name)
    {
        static const QRegularExpression offset(
            QStringLiteral("^(?:GMT|UTC)?([+-])(\\d{1,2})(?::?(\\d{2}))?$"));
        if (const QRegularExpressionMatch m = offset.match(name); m.hasMatch()) {
            const int seconds = m.captured(2).toInt() * 3600 + m.captured(3).toInt() * 60;
            return QTimeZone(m.captured(1) == u"-" ? -seconds : seconds);
        }
        return QTimeZone(name.toUtf8());
    }

    // Day One's text is Markdown source: its exporter escapes punctuation ("\." "\-") and links
    // each photo as ![](dayone-moment://ID). The escapes go; a link becomes the name of the file
    // it stands for, a picture that comes in its line of its own.
    QString dayOneText(QString text, const QHash<QString, QString> &mediaNames)
    {
        static const QRegularExpression link(
            QStringLiteral("!\\[[^\\]\\n]*\\]\\(dayone-moment:/{1,2}(?:[A-Za-z]+/)?([^)\\s]+)\\)"));
        static const QRegularExpression escape(QStringLiteral("\\\\([!-/:-@\\[-`{-~])"));
        QString out;
        qsizetype from = 0;
        for (QRegularExpressionMatchIterator it = link.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            out += QString(text.mid(from, m.capturedStart() - from)).replace(escape, u"\\1"_s);
            const QString named
                = mediaNames.value(m.captured(1), u"[写真: "_s + m.captured(1) + u']');
            const bool line = PictureOfLine(named).has_value();
            if (line && !out.isEmpty() && !out.endsWith(u'\n'))
                out += u'\n';
            out += named;
            from = m.capturedEnd();
            if (line && from < text.size() && text[from] != u'\n')
                out += u'\n';
        }
        out += QString(text.mid(from)).replace(escape, u"\\1"_s);
        return out;
    }

    // An entry's tags as its last line, each once and as one word ("night walk" as
    // #night_walk), but for those the text already holds.
    QString dayOneTags(const QJsonArray &tags, const QString &text)
    {
        QStringList line;
        for (const QJsonValue tag : tags) {
            QString name = tag.isDouble() ? QString::number(tag.toDouble()) : tag.toString();
            name = name.simplified().replace(u' ', u'_');
            if (name.isEmpty() || line.contains(u'#' + name))
                continue;
            const QRegularExpression written(
                u"(?:^|\\s)#"_s + QRegularExpression::escape(name) + u"(?=$|[\\s.,;:!?)])"_s);
            if (!text.contains(written))
                line << u'#' + name;
        }
        return line.join(u' ');
    }

    void readDayOneJournal(const QJsonObject &root, const QString &file,
        std::vector<TEntry> &entries, TSource &source, const TMediaPlace &place)
    {
        const QJsonArray list = root.value(u"entries").toArray();
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QJsonObject e = list[i].toObject();
            const QString created = e.value(u"creationDate").toString();
            const QString where = entryName(file, i, created);
            TEntry entry;
            entry.Order = int(i);
            QDateTime at = QDateTime::fromString(created, Qt::ISODateWithMs);
            if (at.isValid()) {
                // The day the writer lived, in the zone the entry was written in; older entries
                // without one are taken in this computer's zone, and so is a zone not known here,
                // which is said.
                const QString zoneName = e.value(u"timeZone").toString();
                QTimeZone zone = zoneNamed(zoneName);
                if (!zone.isValid()) {
                    if (!zoneName.isEmpty())
                        source.Guessed << TSkipped { where, TWhy::ZoneGuessed, zoneName };
                    zone = QTimeZone::systemTimeZone();
                }
                at = at.toTimeZone(zone);
                entry.Day = at.date();
                entry.At = at;
            }
            // A photo that is a picture the diary takes comes in as a picture of the entry's
            // day, where its link stood; the other media are named there.
            QHash<QString, QString> mediaNames;
            QStringList unlinked;
            const QString body = e.value(u"text").toString();
            for (const auto &media : kDayOneMedia) {
                const bool photos = QLatin1StringView(media.Key) == u"photos";
                for (const QJsonValue m : e.value(QLatin1StringView(media.Key)).toArray()) {
                    const QJsonObject item = m.toObject();
                    const QString type = item.value(u"type").toString();
                    const QString name = QStringLiteral("%1/%2%3").arg(
                        QLatin1StringView(media.Folder), item.value(u"md5").toString(),
                        type.isEmpty() ? QString() : u'.' + type);
                    const QString identifier = item.value(u"identifier").toString();
                    std::optional<QByteArray> bytes;
                    if (photos && entry.Day.isValid())
                        bytes = place.Read(name);
                    if (const std::optional<QString> kind
                        = bytes ? PictureKindOf(*bytes) : std::nullopt) {
                        const QString picture = PictureName(entry.Day, *bytes, *kind);
                        source.Pictures.append({ entry.Day, picture, place.Zip,
                            place.Zip.isEmpty() ? QDir(place.Folder).filePath(name) : name });
                        const bool linked = !identifier.isEmpty()
                            && body.contains(u"dayone-moment:"_s) && body.contains(identifier);
                        if (linked)
                            mediaNames.insert(identifier, PictureLine(picture));
                        else
                            unlinked << PictureLine(picture);
                        continue;
                    }
                    source.Media << name;
                    mediaNames.insert(
                        identifier, u'[' + QString::fromUtf8(media.Kind) + u": "_s + name + u']');
                }
            }
            entry.Text = withoutTrailingBlanks(dayOneText(plainLineBreaks(body), mediaNames));
            // Photos the text does not link follow it.
            for (const QString &line : std::as_const(unlinked))
                entry.Text += (entry.Text.isEmpty() ? QString() : u"\n"_s) + line;
            const QString tags = dayOneTags(e.value(u"tags").toArray(), entry.Text);
            if (!entry.Text.isEmpty() && !tags.isEmpty())
                entry.Text += u'\n' + tags;
            if (acceptEntry(entry, where, source))
                entries.push_back(std::move(entry));
        }
    }

    void readJrnl(const QJsonObject &root, const QString &file, TSource &source)
    {
        std::vector<TEntry> entries;
        const QJsonArray list = root.value(u"entries").toArray();
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QJsonObject e = list[i].toObject();
            const QString date = e.value(u"date").toString();
            const QString time = e.value(u"time").toString();
            TEntry entry;
            entry.Order = int(i);
            entry.Day = QDate::fromString(date, Qt::ISODate);
            entry.At = QDateTime(entry.Day, QTime::fromString(time, u"HH:mm"));
            // The title is the entry's first line, the body the rest.
            QString body = plainLineBreaks(e.value(u"body").toString());
            while (body.startsWith(u'\n'))
                body.remove(0, 1);
            const QString title = e.value(u"title").toString();
            entry.Text = withoutTrailingBlanks(body.isEmpty() ? title : title + u'\n' + body);
            if (acceptEntry(entry, entryName(file, i, (date + u' ' + time).trimmed()), source))
                entries.push_back(std::move(entry));
        }
        joinEntries(entries, source);
    }

    // A file or a zip's member is read whole, and its entries held: one larger than this is
    // refused with its size rather than read (ten years of a diary are a few megabytes).
    constexpr qint64 kMaxReadBytes = qint64(64) << 20;
    // A zip member that unpacks to more than this many times its packed size (with more than a
    // megabyte unpacked) is taken for a zip bomb: text packs to about a fifth.
    constexpr qint64 kMaxPackRatio = 100;

    QString megabytes(qint64 bytes) { return QString::number(double(bytes) / (1 << 20), 'f', 1); }

    QByteArray readFile(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw TReadError { QStringLiteral("cannot read %1: %2").arg(path, file.errorString()) };
        if (file.size() > kMaxReadBytes)
            throw TReadError { QStringLiteral("%1 is too large to read (%2 MB; at most %3 MB)")
                                   .arg(path, megabytes(file.size()), megabytes(kMaxReadBytes)) };
        QByteArray bytes = file.read(kMaxReadBytes + 1);
        if (bytes.size() > kMaxReadBytes)
            throw TReadError { QStringLiteral("%1 is too large to read (at most %2 MB)")
                                   .arg(path, megabytes(kMaxReadBytes)) };
        if (file.error() != QFileDevice::NoError)
            throw TReadError { QStringLiteral("cannot read %1: %2").arg(path, file.errorString()) };
        return bytes;
    }

    // The media of an export unzipped into folder.
    TMediaPlace filePlace(const QString &folder)
    {
        return { [folder](const QString &name) -> std::optional<QByteArray> {
                    const QString path = QDir(folder).filePath(name);
                    if (!QFileInfo(path).isFile())
                        return std::nullopt;
                    try {
                        return readFile(path);
                    } catch (const TReadError &) {
                        return std::nullopt;
                    }
                },
            QString(), folder };
    }

    // Text files of other programs: UTF-8, or Shift-JIS as this diary's own files.
    QString decodeText(const QByteArray &bytes, const QString &path)
    {
        QStringDecoder utf8(QStringDecoder::Utf8);
        QString text = utf8.decode(bytes);
        if (!utf8.hasError())
            return text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text;
        text = cp932::Decode(bytes);
        if (text.contains(QChar(0xFFFD)))
            throw TReadError { QStringLiteral("%1 is neither UTF-8 nor Shift-JIS text").arg(path) };
        return text;
    }

    class TZip {
    public:
        explicit TZip(const QString &path)
        {
            int code = 0;
            FZip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
            if (!FZip) {
                zip_error_t error;
                zip_error_init_with_code(&error, code);
                const QString message = QString::fromUtf8(zip_error_strerror(&error));
                zip_error_fini(&error);
                throw TReadError { QStringLiteral("%1 is no readable zip: %2").arg(path, message) };
            }
        }
        ~TZip() { zip_discard(FZip); }
        TZip(const TZip &) = delete;
        TZip &operator=(const TZip &) = delete;

        QStringList Names() const
        {
            QStringList names;
            const zip_int64_t count = zip_get_num_entries(FZip, 0);
            for (zip_int64_t i = 0; i < count; ++i)
                names << QString::fromUtf8(zip_get_name(FZip, zip_uint64_t(i), 0));
            return names;
        }

        QByteArray Read(const QString &name) const
        {
            zip_stat_t st;
            zip_file_t *file = nullptr;
            const QByteArray key = name.toUtf8();
            if (zip_stat(FZip, key.constData(), 0, &st) == 0)
                file = zip_fopen(FZip, key.constData(), 0);
            QByteArray bytes;
            bool ok = file != nullptr && (st.valid & ZIP_STAT_SIZE);
            if (ok && st.size > zip_uint64_t(kMaxReadBytes)) {
                zip_fclose(file);
                throw TReadError { QStringLiteral("%1 in the zip is too large to read (%2 MB; at "
                                                  "most %3 MB)")
                                       .arg(name, megabytes(qint64(st.size)),
                                           megabytes(kMaxReadBytes)) };
            }
            if (ok && (st.valid & ZIP_STAT_COMP_SIZE) && st.size > (1u << 20)
                && st.size / std::max<zip_uint64_t>(st.comp_size, 1)
                    > zip_uint64_t(kMaxPackRatio)) {
                zip_fclose(file);
                throw TReadError {
                    QStringLiteral("%1 in the zip unpacks to %2 times its size, as a zip bomb does")
                        .arg(name,
                            QString::number(st.size / std::max<zip_uint64_t>(st.comp_size, 1)))
                };
            }
            if (ok) {
                bytes.resize(qsizetype(st.size));
                ok = zip_fread(file, bytes.data(), st.size) == zip_int64_t(st.size);
            }
            const QString message = QString::fromUtf8(zip_strerror(FZip));
            if (file)
                zip_fclose(file);
            if (!ok)
                throw TReadError {
                    QStringLiteral("cannot read %1 in the zip: %2").arg(name, message)
                };
            return bytes;
        }

    private:
        zip_t *FZip = nullptr;
    };

    void readJson(const QString &path, TFormat format, TSource &source)
    {
        const QString name = QFileInfo(path).fileName();
        const QJsonObject root = parseObject(readFile(path), name);
        if (format == TFormat::Auto) {
            const std::optional<TFormat> found = jsonFormat(root);
            if (!found)
                throw TReadError { QStringLiteral("%1 is no known diary export").arg(name) };
            format = *found;
        }
        source.Format = format;
        if (format == TFormat::Jrnl) {
            readJrnl(root, name, source);
            return;
        }
        std::vector<TEntry> entries;
        const QString folder = QFileInfo(path).absolutePath();
        readDayOneJournal(root, name, entries, source, filePlace(folder));
        joinEntries(entries, source);
    }

    const QRegularExpression &monthFileName()
    {
        static const QRegularExpression re(QStringLiteral("^(\\d{4})-(\\d{2})\\.txt$"));
        return re;
    }

    // A scalar of a month file as text. Some versions wrote a text as !!binary (base64), which
    // is decoded; what then reads as no text is said.
    std::optional<QString> monthText(const YAML::Node &node)
    {
        const QString scalar = QString::fromStdString(node.Scalar());
        if (node.Tag() != "tag:yaml.org,2002:binary")
            return scalar;
        const auto bytes = QByteArray::fromBase64Encoding(scalar.toLatin1());
        if (!bytes)
            return std::nullopt;
        QStringDecoder utf8(QStringDecoder::Utf8);
        QString text = utf8.decode(*bytes);
        if (!utf8.hasError())
            return text;
        text = cp932::Decode(*bytes);
        return text.contains(QChar(0xFFFD)) ? std::nullopt : std::optional<QString>(text);
    }

    // A day's categories and tags as its last lines, as RedNotebook's own export writes them:
    // "- Category", then "  - entry" for each of its entries.
    QString monthCategories(const YAML::Node &day)
    {
        QStringList lines;
        for (const auto &category : day) {
            const QString name = QString::fromStdString(category.first.Scalar());
            if (name == u"text" || !category.first.IsScalar())
                continue;
            lines << u"- "_s + name;
            const YAML::Node &entries = category.second;
            if (entries.IsMap()) {
                for (const auto &entry : entries)
                    lines << u"  - "_s + QString::fromStdString(entry.first.Scalar());
            } else if (entries.IsSequence()) {
                for (const auto &entry : entries)
                    lines << u"  - "_s + QString::fromStdString(entry.Scalar());
            } else if (entries.IsScalar()) {
                lines << u"  - "_s + QString::fromStdString(entries.Scalar());
            }
        }
        return lines.join(u'\n');
    }

    // A month file's bytes; name is the file's own name (YYYY-MM.txt), where names it in
    // messages.
    // RedNotebook links a picture by its absolute path, written [""/home/me/photo"".jpg] (the
    // name without its extension between the doubled quotes, maybe as a file:// address, maybe
    // with "?width" after). A picture whose file is there comes in as a picture of the day, its
    // line where the link stood; one that is not there is named and its link stays text.
    QString rednotebookPictures(const QString &text, QDate day, TSource &source)
    {
        static const QRegularExpression link(
            QStringLiteral("\\[\"\"([^\"\\]\\n]+)\"\"(\\.[A-Za-z]+)(?:\\?\\d+)?\\]"));
        if (!text.contains(u"[\"\""_s))
            return text;
        QString out;
        qsizetype from = 0;
        for (QRegularExpressionMatchIterator it = link.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            out += text.mid(from, m.capturedStart() - from);
            from = m.capturedEnd();
            QString path = m.captured(1) + m.captured(2);
            if (path.startsWith(u"file:"_s))
                path = QUrl(path).toLocalFile();
            std::optional<QByteArray> bytes;
            if (QFileInfo(path).isFile()) {
                try {
                    bytes = readFile(path);
                } catch (const TReadError &) {
                }
            }
            const std::optional<QString> kind = bytes ? PictureKindOf(*bytes) : std::nullopt;
            if (!kind) {
                source.Media << path;
                out += m.captured(0);
                continue;
            }
            const QString name = PictureName(day, *bytes, *kind);
            source.Pictures.append({ day, name, QString(), path });
            if (!out.isEmpty() && !out.endsWith(u'\n'))
                out += u'\n';
            out += PictureLine(name);
            if (from < text.size() && text[from] != u'\n')
                out += u'\n';
        }
        return out + text.mid(from);
    }

    void readMonth(
        const QByteArray &bytes, const QString &name, const QString &where, TSource &source)
    {
        const QRegularExpressionMatch m = monthFileName().match(name);
        const QDate month
            = m.hasMatch() ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), 1) : QDate();
        if (!month.isValid())
            throw TReadError { QStringLiteral("%1 is no month file (YYYY-MM.txt)").arg(where) };
        const QString notMonth = QStringLiteral("%1 is no month file: ").arg(where);
        YAML::Node root;
        try {
            root = YAML::Load(decodeText(bytes, where).toStdString());
        } catch (const YAML::Exception &e) {
            throw TReadError { notMonth + QString::fromStdString(e.msg) };
        }
        if (root.IsNull())
            return;
        if (!root.IsMap())
            throw TReadError { notMonth + QStringLiteral("it maps no day numbers to texts") };
        std::vector<TEntry> entries;
        for (const auto &item : root) {
            const QString key = QString::fromStdString(item.first.Scalar());
            bool isNumber = false;
            const int dayNumber = key.toInt(&isNumber);
            const QDate day(month.year(), month.month(), isNumber ? dayNumber : 0);
            if (!item.first.IsScalar() || !day.isValid() || !item.second.IsMap())
                throw TReadError { notMonth + QStringLiteral("'%1' is no day of it").arg(key) };
            const QString entryWhere = QStringLiteral("%1 day %2").arg(name, key);
            const YAML::Node text = item.second["text"];
            TEntry entry;
            entry.Day = day;
            if (text && text.IsScalar()) {
                const std::optional<QString> decoded = monthText(text);
                if (!decoded) {
                    source.Skipped << TSkipped { entryWhere, TWhy::BinaryText, {} };
                    continue;
                }
                entry.Text = withoutTrailingBlanks(
                    rednotebookPictures(plainLineBreaks(*decoded), day, source));
            }
            const QString categories = monthCategories(item.second);
            if (!categories.isEmpty())
                entry.Text += (entry.Text.isEmpty() ? QString() : u"\n\n"_s) + categories;
            if (acceptEntry(entry, entryWhere, source))
                entries.push_back(std::move(entry));
        }
        joinEntries(entries, source);
    }

    void readMonthFile(const QString &path, TSource &source)
    {
        readMonth(readFile(path), QFileInfo(path).fileName(), path, source);
    }

    QStringList monthFilesIn(const QString &folder)
    {
        QStringList paths;
        for (const QString &name : QDir(folder).entryList(QDir::Files, QDir::Name)) {
            if (monthFileName().match(name).hasMatch())
                paths << QDir(folder).filePath(name);
        }
        return paths;
    }

    // A day file's name: the day with "-", "_", "." or nothing between its parts, or in folders
    // of year and month (2023/03/08.md), then words of its own after a blank as Obsidian names
    // them ("2023-03-09 Thursday.md"); text or Markdown.
    const QRegularExpression &dayNamePattern()
    {
        static const QRegularExpression re(
            QStringLiteral("(?:^|/)(?:(\\d{4})([-_.]?)(\\d{2})\\2(\\d{2})|(\\d{4})/(\\d{2})/"
                           "(\\d{2}))(?: [^/]*)?\\.(?:txt|md|markdown)$"),
            QRegularExpression::CaseInsensitiveOption);
        return re;
    }

    void readDayFile(const QString &path, QDate day, TSource &source)
    {
        TEntry entry;
        entry.Day = day;
        const QByteArray bytes = readFile(path);
        source.Digests[path] = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
        entry.Text = withoutTrailingBlanks(plainLineBreaks(decodeText(bytes, path)));
        std::vector<TEntry> one;
        if (acceptEntry(entry, path, source))
            one.push_back(std::move(entry));
        joinEntries(one, source);
        source.Files << path;
    }

    // Why a file of a day folder names no day.
    TWhy dayNameFault(const QString &relativePath)
    {
        return dayNamePattern().match(relativePath).hasMatch() ? TWhy::NoSuchDay : TWhy::NoDayName;
    }

    void readDayFolder(const QString &folder, TSource &source)
    {
        QStringList found;
        QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next();
        // Files of one day from several sub-folders join in name order.
        found.sort();
        const QDir root(folder);
        for (const QString &path : std::as_const(found)) {
            const QString relative = root.relativeFilePath(path);
            const QDate day = DayOfFileName(relative);
            // A link to a key file or another folder's text would carry it into the diary.
            if (day.isValid() && LeadsOutside(path, folder))
                source.Skipped << TSkipped { path, TWhy::LinkOutside, {} };
            else if (day.isValid())
                readDayFile(path, day, source);
            else
                source.Skipped << TSkipped { path, dayNameFault(relative), {} };
        }
    }

    // A zip: a Day One export (a JSON file a journal at its top, media beside them) or a backup
    // of RedNotebook's data folder (its month files).
    void readZip(const QString &path, TSource &source)
    {
        const TZip zip(path);
        std::vector<TEntry> entries;
        QStringList journals;
        QStringList months;
        for (const QString &name : zip.Names()) {
            if (!name.contains(u'/') && name.endsWith(u".json", Qt::CaseInsensitive))
                journals << name;
            else if (monthFileName().match(name.section(u'/', -1)).hasMatch())
                months << name;
        }
        if (source.Format == TFormat::RedNotebook
            || (source.Format == TFormat::Auto && journals.isEmpty() && !months.isEmpty())) {
            source.Format = TFormat::RedNotebook;
            for (const QString &name : std::as_const(months))
                readMonth(zip.Read(name), name.section(u'/', -1), path + u':' + name, source);
            return;
        }
        source.Format = TFormat::DayOne;
        if (journals.isEmpty())
            throw TReadError { QStringLiteral("%1 holds no journal (.json) file").arg(path) };
        const QStringList names = zip.Names();
        const TMediaPlace place { [&](const QString &name) -> std::optional<QByteArray> {
                                     if (!names.contains(name))
                                         return std::nullopt;
                                     try {
                                         return zip.Read(name);
                                     } catch (const TReadError &) {
                                         return std::nullopt;
                                     }
                                 },
            path, QString() };
        for (const QString &name : std::as_const(journals))
            readDayOneJournal(parseObject(zip.Read(name), name), name, entries, source, place);
        joinEntries(entries, source);
    }

    // The JSON files at the top of an unzipped Day One export, when they are one.
    QStringList dayOneJournalsIn(const QString &folder)
    {
        QStringList paths;
        const QDir dir(folder);
        for (const QString &name : dir.entryList({ u"*.json"_s }, QDir::Files, QDir::Name))
            paths << dir.filePath(name);
        return paths;
    }

    void readDayOneFolder(const QStringList &journals, TSource &source)
    {
        std::vector<TEntry> entries;
        for (const QString &path : journals) {
            const QString name = QFileInfo(path).fileName();
            readDayOneJournal(parseObject(readFile(path), name), name, entries, source,
                filePlace(QFileInfo(path).absolutePath()));
        }
        joinEntries(entries, source);
        source.Files = journals;
    }

    // jrnl's own journal file (what jrnl --import reads): each entry begins with a line
    // "[2023-05-01 09:00] Title", the time as its settings write it ("09:00:00 AM" too).
    const QRegularExpression &jrnlEntryLine()
    {
        static const QRegularExpression re(
            QStringLiteral("^\\[(\\d{4}-\\d{2}-\\d{2})(?:[ T](\\d{1,2}):(\\d{2})(?::(\\d{2}))?"
                           "(?: ?([AaPp])\\.?[Mm]\\.?)?)?\\] ?(.*)$"));
        return re;
    }

    void readJrnlText(const QString &path, TSource &source)
    {
        const QString name = QFileInfo(path).fileName();
        const QStringList lines = plainLineBreaks(decodeText(readFile(path), path)).split(u'\n');
        std::vector<TEntry> entries;
        QString where;
        qsizetype count = 0;
        const auto finish = [&] {
            if (entries.empty())
                return;
            TEntry &entry = entries.back();
            entry.Text = withoutTrailingBlanks(entry.Text);
            if (!acceptEntry(entry, where, source))
                entries.pop_back();
        };
        for (const QString &line : lines) {
            const QRegularExpressionMatch m = jrnlEntryLine().match(line);
            if (!m.hasMatch()) {
                if (entries.empty() && !line.trimmed().isEmpty())
                    throw TReadError { QStringLiteral(
                        "%1 is no jrnl journal: its first line is no entry's "
                        "([YYYY-MM-DD HH:MM] title)")
                                           .arg(path) };
                if (!entries.empty())
                    entries.back().Text += u'\n' + line;
                continue;
            }
            finish();
            TEntry entry;
            entry.Order = int(entries.size());
            entry.Day = QDate::fromString(m.captured(1), Qt::ISODate);
            int hour = m.captured(2).toInt();
            const QString half = m.captured(5).toLower();
            if (half == u"p" && hour < 12)
                hour += 12;
            else if (half == u"a" && hour == 12)
                hour = 0;
            entry.At
                = QDateTime(entry.Day, QTime(hour, m.captured(3).toInt(), m.captured(4).toInt()));
            entry.Text = m.captured(6);
            where = entryName(name, count++, line.section(u']', 0, 0).mid(1));
            entries.push_back(std::move(entry));
        }
        finish();
        joinEntries(entries, source);
    }

    // The start of a file, to tell its kind by.
    QString startOf(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.read(4096)).trimmed()
                                              : QString();
    }

    bool startsAsJson(const QString &path) { return startOf(path).startsWith(u'{'); }

    bool startsAsJrnl(const QString &path)
    {
        return jrnlEntryLine().match(startOf(path).section(u'\n', 0, 0)).hasMatch();
    }

    void read(const QString &path, TSource &source)
    {
        const QFileInfo info(path);
        if (!info.exists())
            throw TReadError { QStringLiteral("%1 does not exist").arg(path) };
        if (info.isDir()) {
            const QStringList months = monthFilesIn(path);
            const QStringList journals = dayOneJournalsIn(path);
            if (source.Format == TFormat::RedNotebook
                || (source.Format == TFormat::Auto && !months.isEmpty())) {
                source.Format = TFormat::RedNotebook;
                for (const QString &month : months)
                    readMonthFile(month, source);
                source.Files = months;
                return;
            }
            if (source.Format == TFormat::DayOne
                || (source.Format == TFormat::Auto && !journals.isEmpty())) {
                source.Format = TFormat::DayOne;
                readDayOneFolder(journals, source);
                return;
            }
            if (source.Format != TFormat::Auto && source.Format != TFormat::DayFiles)
                throw TReadError { QStringLiteral("%1 is a folder, not a %2 file")
                                       .arg(path, FormatName(source.Format)) };
            source.Format = TFormat::DayFiles;
            readDayFolder(path, source);
            return;
        }
        source.Files << path;
        const QString name = info.fileName();
        if (name.endsWith(u".zip", Qt::CaseInsensitive)
            && (source.Format == TFormat::Auto || source.Format == TFormat::DayOne
                || source.Format == TFormat::RedNotebook)) {
            readZip(path, source);
            return;
        }
        TFormat format = source.Format;
        if (format == TFormat::Auto) {
            if (monthFileName().match(name).hasMatch())
                format = TFormat::RedNotebook;
            else if (DayOfFileName(QDir::fromNativeSeparators(path)).isValid())
                format = TFormat::DayFiles;
        }
        switch (format) {
        case TFormat::RedNotebook:
            source.Format = format;
            readMonthFile(path, source);
            return;
        case TFormat::DayFiles: {
            source.Format = format;
            const QDate day = DayOfFileName(QDir::fromNativeSeparators(path));
            if (!day.isValid())
                throw TReadError { QStringLiteral("%1 is %2")
                                       .arg(path,
                                           TSkipped { path, dayNameFault(name), {} }.Reason()) };
            source.Files.clear();
            readDayFile(path, day, source);
            return;
        }
        case TFormat::DayOne:
        case TFormat::Jrnl:
        case TFormat::Auto:
            if (format == TFormat::DayOne || name.endsWith(u".json", Qt::CaseInsensitive)
                || startsAsJson(path)) {
                readJson(path, format, source);
                return;
            }
            if (format == TFormat::Auto && !startsAsJrnl(path))
                throw TReadError { QStringLiteral(
                    "%1 is of no kind import reads: a Day One export (.zip, "
                    ".json or its folder), a jrnl journal or JSON export, "
                    "RedNotebook's month files (YYYY-MM.txt) or backup (.zip), "
                    "or files of one day (YYYY-MM-DD.txt or .md)")
                                       .arg(path) };
            source.Format = TFormat::Jrnl;
            readJrnlText(path, source);
            return;
        }
    }

} // namespace

QString TSkipped::Reason() const
{
    switch (Why) {
    case TWhy::NoDate:
        return QStringLiteral("no date");
    case TWhy::Before1900:
        return QStringLiteral("before 1900");
    case TWhy::NoText:
        break;
    case TWhy::LinkOutside:
        return QStringLiteral("a link to outside the folder");
    case TWhy::NoSuchDay:
        return QStringLiteral("named for a day that does not exist");
    case TWhy::NoDayName:
        return QStringLiteral("named for no day (YYYY-MM-DD.txt or .md)");
    case TWhy::BinaryText:
        return QStringLiteral("its text is stored as binary data that reads as no text");
    case TWhy::ZoneGuessed:
        return QStringLiteral("time zone '%1' is not known here: taken as this computer's")
            .arg(Detail);
    }
    return QStringLiteral("no text");
}

std::optional<TFormat> FormatNamed(const QString &name)
{
    for (const TFormat f :
        { TFormat::DayOne, TFormat::Jrnl, TFormat::RedNotebook, TFormat::DayFiles }) {
        if (FormatName(f) == name)
            return f;
    }
    return std::nullopt;
}

QString FormatName(TFormat format)
{
    switch (format) {
    case TFormat::DayOne:
        return QStringLiteral("dayone");
    case TFormat::Jrnl:
        return QStringLiteral("jrnl");
    case TFormat::RedNotebook:
        return QStringLiteral("rednotebook");
    case TFormat::DayFiles:
        return QStringLiteral("days");
    case TFormat::Auto:
        break;
    }
    return QString();
}

QDate DayOfFileName(const QString &relativePath)
{
    const QRegularExpressionMatch m = dayNamePattern().match(relativePath);
    if (!m.hasMatch())
        return QDate();
    const int first = m.hasCaptured(1) ? 1 : 5;
    const int month = m.hasCaptured(1) ? 3 : 6;
    return QDate(
        m.captured(first).toInt(), m.captured(month).toInt(), m.captured(month + 1).toInt());
}

TSource ReadSource(const QString &path, TFormat format)
{
    TSource source;
    source.Path = path;
    source.Format = format;
    QString error;
    try {
        read(path, source);
        return source;
    } catch (const TReadError &e) {
        error = e.Message;
    } catch (const std::bad_alloc &) {
        source = TSource();
        error = QStringLiteral("%1 does not fit into memory").arg(path);
    } catch (const YAML::Exception &e) {
        error = QStringLiteral("%1: %2").arg(path, QString::fromStdString(e.msg));
    }
    // Nothing of a source comes in that did not read whole.
    TSource failed;
    failed.Path = path;
    failed.Format = source.Format;
    failed.Error = error;
    return failed;
}

bool LeadsOutside(const QString &path, const QString &folder)
{
    const QString real = QFileInfo(path).canonicalFilePath();
    const QString root = QFileInfo(folder).canonicalFilePath();
    return real.isEmpty() || root.isEmpty() || !real.startsWith(root + u'/');
}

bool HoldsBytesRead(const TSource &source)
{
    for (const auto &[path, digest] : source.Digests) {
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file) || hash.result() != digest)
            return false;
    }
    return true;
}

std::map<QDate, QString> JoinDays(const QList<TSource> &sources)
{
    std::map<QDate, QString> days;
    for (const TSource &source : sources) {
        for (const auto &[day, text] : source.Days) {
            QString &joined = days[day];
            if (!joined.isEmpty())
                joined += QStringLiteral("\n\n");
            joined += text;
        }
    }
    return days;
}

QStringList CopyPictures(const QList<TSource> &sources, const QString &baseDir)
{
    QStringList failed;
    for (const TSource &source : sources) {
        std::unique_ptr<TZip> zip;
        for (const TImportedPicture &picture : source.Pictures) {
            try {
                if (!picture.Zip.isEmpty() && !zip)
                    zip = std::make_unique<TZip>(picture.Zip);
                const QByteArray bytes
                    = picture.Zip.isEmpty() ? readFile(picture.Path) : zip->Read(picture.Path);
                const TPictureAdded added = AddPictureBytes(
                    baseDir, bytes, picture.Day, QFileInfo(picture.Path).fileName());
                if (!added.Ok())
                    failed << added.Error;
                else if (added.Name != picture.Name)
                    failed << QStringLiteral("%1: another picture has the name %2")
                                  .arg(picture.Path, picture.Name);
            } catch (const TReadError &e) {
                failed << e.Message;
            }
        }
    }
    return failed;
}

} // namespace diaryimport
