#include "DiaryImport.h"

#include "Cp932.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimeZone>
#include <algorithm>
#include <yaml-cpp/yaml.h>
#include <zip.h>

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
            source.Skipped << TSkipped { where, QStringLiteral("no date") };
            return false;
        }
        if (entry.Day.year() < 1900) {
            source.Skipped << TSkipped { where, QStringLiteral("before 1900") };
            return false;
        }
        if (entry.Text.isEmpty()) {
            source.Skipped << TSkipped { where, QStringLiteral("no text") };
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
    } kDayOneMedia[] = { { "photos", "photos" }, { "videos", "videos" }, { "audios", "audios" },
        { "pdfAttachments", "pdfs" } };

    void readDayOneJournal(
        const QJsonObject &root, const QString &file, std::vector<TEntry> &entries, TSource &source)
    {
        const QJsonArray list = root.value(u"entries").toArray();
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QJsonObject e = list[i].toObject();
            const QString created = e.value(u"creationDate").toString();
            const QString where = entryName(file, i, created);
            for (const auto &media : kDayOneMedia) {
                for (const QJsonValue m : e.value(QLatin1StringView(media.Key)).toArray()) {
                    const QJsonObject item = m.toObject();
                    const QString type = item.value(u"type").toString();
                    source.Media << QStringLiteral("%1/%2%3").arg(QLatin1StringView(media.Folder),
                        item.value(u"md5").toString(), type.isEmpty() ? QString() : u'.' + type);
                }
            }
            TEntry entry;
            entry.Order = int(i);
            QDateTime at = QDateTime::fromString(created, Qt::ISODateWithMs);
            if (at.isValid()) {
                // The day the writer lived, in the zone the entry was written in; older entries
                // without one are taken in this computer's zone.
                const QTimeZone zone(e.value(u"timeZone").toString().toUtf8());
                at = at.toTimeZone(zone.isValid() ? zone : QTimeZone::systemTimeZone());
                entry.Day = at.date();
                entry.At = at;
            }
            entry.Text = withoutTrailingBlanks(plainLineBreaks(e.value(u"text").toString()));
            QStringList tags;
            for (const QJsonValue tag : e.value(u"tags").toArray())
                tags << u'#' + tag.toString();
            if (!entry.Text.isEmpty() && !tags.isEmpty())
                entry.Text += u'\n' + tags.join(u' ');
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

    QByteArray readFile(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw TReadError { QStringLiteral("cannot read %1: %2").arg(path, file.errorString()) };
        QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw TReadError { QStringLiteral("cannot read %1: %2").arg(path, file.errorString()) };
        return bytes;
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

    void readDayOneZip(const QString &path, TSource &source)
    {
        const TZip zip(path);
        std::vector<TEntry> entries;
        bool found = false;
        // One JSON file a journal, at the top of the zip.
        for (const QString &name : zip.Names()) {
            if (name.contains(u'/') || !name.endsWith(u".json", Qt::CaseInsensitive))
                continue;
            found = true;
            readDayOneJournal(parseObject(zip.Read(name), name), name, entries, source);
        }
        if (!found)
            throw TReadError { QStringLiteral("%1 holds no journal (.json) file").arg(path) };
        joinEntries(entries, source);
    }

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
        readDayOneJournal(root, name, entries, source);
        joinEntries(entries, source);
    }

    const QRegularExpression &monthFileName()
    {
        static const QRegularExpression re(QStringLiteral("^(\\d{4})-(\\d{2})\\.txt$"));
        return re;
    }

    void readMonthFile(const QString &path, TSource &source)
    {
        const QString name = QFileInfo(path).fileName();
        const QRegularExpressionMatch m = monthFileName().match(name);
        const QDate month
            = m.hasMatch() ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), 1) : QDate();
        if (!month.isValid())
            throw TReadError { QStringLiteral("%1 is no month file (YYYY-MM.txt)").arg(path) };
        const QString notMonth = QStringLiteral("%1 is no month file: ").arg(path);
        YAML::Node root;
        try {
            root = YAML::Load(decodeText(readFile(path), path).toStdString());
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
            const YAML::Node text = item.second["text"];
            TEntry entry;
            entry.Day = day;
            entry.Text = text && text.IsScalar()
                ? withoutTrailingBlanks(plainLineBreaks(QString::fromStdString(text.Scalar())))
                : QString();
            if (acceptEntry(entry, QStringLiteral("%1 day %2").arg(name, key), source))
                entries.push_back(std::move(entry));
        }
        joinEntries(entries, source);
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

    void readDayFile(const QString &path, QDate day, TSource &source)
    {
        TEntry entry;
        entry.Day = day;
        entry.Text = withoutTrailingBlanks(plainLineBreaks(decodeText(readFile(path), path)));
        std::vector<TEntry> one;
        if (acceptEntry(entry, path, source))
            one.push_back(std::move(entry));
        joinEntries(one, source);
        source.Files << path;
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
            const QDate day = DayOfFileName(root.relativeFilePath(path));
            if (day.isValid())
                readDayFile(path, day, source);
        }
    }

    void read(const QString &path, TSource &source)
    {
        const QFileInfo info(path);
        if (!info.exists())
            throw TReadError { QStringLiteral("%1 does not exist").arg(path) };
        if (info.isDir()) {
            const QStringList months = monthFilesIn(path);
            if (source.Format == TFormat::RedNotebook
                || (source.Format == TFormat::Auto && !months.isEmpty())) {
                source.Format = TFormat::RedNotebook;
                for (const QString &month : months)
                    readMonthFile(month, source);
                source.Files = months;
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
        TFormat format = source.Format;
        if (format == TFormat::Auto) {
            if (name.endsWith(u".zip", Qt::CaseInsensitive))
                format = TFormat::DayOne;
            else if (monthFileName().match(name).hasMatch())
                format = TFormat::RedNotebook;
            else if (DayOfFileName(QDir::fromNativeSeparators(path)).isValid())
                format = TFormat::DayFiles;
        }
        switch (format) {
        case TFormat::DayOne:
            source.Format = format;
            if (!name.endsWith(u".json", Qt::CaseInsensitive)) {
                readDayOneZip(path, source);
                return;
            }
            readJson(path, format, source);
            return;
        case TFormat::RedNotebook:
            source.Format = format;
            readMonthFile(path, source);
            return;
        case TFormat::DayFiles: {
            source.Format = format;
            const QDate day = DayOfFileName(QDir::fromNativeSeparators(path));
            if (!day.isValid())
                throw TReadError {
                    QStringLiteral("%1 is named for no day (YYYY-MM-DD.txt or .md)").arg(path)
                };
            source.Files.clear();
            readDayFile(path, day, source);
            return;
        }
        case TFormat::Jrnl:
        case TFormat::Auto:
            readJson(path, format, source);
            return;
        }
    }

} // namespace

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
    static const QRegularExpression re(
        QStringLiteral("(?:^|/)(?:(\\d{4})-(\\d{2})-(\\d{2})|(\\d{4})(\\d{2})(\\d{2})|(\\d{4})/"
                       "(\\d{2})/(\\d{2}))"
                       "\\.(?:txt|md)$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(relativePath);
    if (!m.hasMatch())
        return QDate();
    for (int group = 1; group <= 7; group += 3) {
        if (m.hasCaptured(group))
            return QDate(m.captured(group).toInt(), m.captured(group + 1).toInt(),
                m.captured(group + 2).toInt());
    }
    return QDate();
}

TSource ReadSource(const QString &path, TFormat format)
{
    TSource source;
    source.Path = path;
    source.Format = format;
    try {
        read(path, source);
    } catch (const TReadError &e) {
        // Nothing of a source comes in that did not read whole.
        TSource failed;
        failed.Path = path;
        failed.Format = source.Format;
        failed.Error = e.Message;
        return failed;
    }
    return source;
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

} // namespace diaryimport
