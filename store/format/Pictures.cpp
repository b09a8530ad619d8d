#include "Pictures.h"

#include <QCryptographicHash>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

const QString kLineOpen = u"[写真 "_s;
const QString kLineClose = u"]"_s;

bool startsWith(QByteArrayView bytes, QByteArrayView head)
{
    return bytes.size() >= head.size() && bytes.first(head.size()) == head;
}

} // namespace

std::optional<QString> PictureKindOf(QByteArrayView bytes)
{
    if (startsWith(bytes, "\xFF\xD8\xFF"))
        return u"jpg"_s;
    if (startsWith(bytes, "\x89PNG\r\n\x1A\n"))
        return u"png"_s;
    if (startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a"))
        return u"gif"_s;
    if (bytes.size() >= 12 && startsWith(bytes, "RIFF") && bytes.sliced(8, 4) == "WEBP")
        return u"webp"_s;
    // A bitmap's header holds the file's size and a reserved zero word after "BM".
    if (bytes.size() >= 26 && startsWith(bytes, "BM") && bytes[6] == 0 && bytes[7] == 0
        && bytes[8] == 0 && bytes[9] == 0)
        return u"bmp"_s;
    return std::nullopt;
}

QString PictureName(QDate day, QByteArrayView bytes, const QString &kind, int hexDigits)
{
    const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    return day.toString(u"yyyy-MM-dd"_s) + u'_'
        + QString::fromLatin1(hash.first(std::clamp(hexDigits, 8, 64))) + u'.' + kind;
}

bool IsPictureName(QStringView name)
{
    static const QRegularExpression rule(
        uR"(^(\d{4})-(\d{2})-(\d{2})_[0-9a-f]{8,64}\.(jpg|png|gif|webp|bmp)$)"_s);
    const QRegularExpressionMatch match = rule.match(name.toString());
    return match.hasMatch()
        && QDate(match.capturedView(1).toInt(), match.capturedView(2).toInt(),
            match.capturedView(3).toInt())
               .isValid();
}

QString PictureFolderOf(QStringView name)
{
    return QString::fromLatin1(kPicturesFolder) + name.first(4).toString() + u'/';
}

QString PictureLine(const QString &name) { return kLineOpen + name + kLineClose; }

std::optional<QString> PictureOfLine(QStringView line)
{
    line = line.trimmed();
    if (!line.startsWith(kLineOpen) || !line.endsWith(kLineClose))
        return std::nullopt;
    const QStringView name
        = line.sliced(kLineOpen.size(), line.size() - kLineOpen.size() - kLineClose.size());
    if (!IsPictureName(name))
        return std::nullopt;
    return name.toString();
}

QStringList PicturesOfText(QStringView text)
{
    QStringList names;
    // Cheap for the many days that hold no picture.
    if (!text.contains(kLineOpen))
        return names;
    for (const QStringView line : text.tokenize(u'\n')) {
        if (const std::optional<QString> name = PictureOfLine(line)) {
            if (!names.contains(*name))
                names.append(*name);
        }
    }
    return names;
}
