#include "DiaryPictures.h"

#include "DiarySearch.h"
#include "Exceptions.h"
#include "PictureFiles.h"
#include "Pictures.h"

#include <QFileInfo>

namespace diarypictures {

QSet<QString> TPictureAudit::NamedSet() const
{
    QSet<QString> names;
    for (const TNamedPicture &picture : Named)
        names.insert(picture.Name);
    return names;
}

TPictureAudit AuditPictures(const QString &baseDir, const QString &prefix, const QString &ext)
{
    TPictureAudit audit;
    for (const diarysearch::TYearFileRef &file : diarysearch::ListYearFiles(baseDir, prefix, ext)) {
        try {
            for (const diarysearch::TDayEntry &day :
                diarysearch::ReadYearFile(baseDir, prefix, ext, file.Year)) {
                for (const QString &name : PicturesOfText(day.Text))
                    audit.Named.push_back({ day.Date, name });
            }
        } catch (const Exception &) {
            audit.Unread.append(file.Path);
        }
    }
    QSet<QString> named;
    for (const TNamedPicture &picture : audit.Named) {
        if (named.contains(picture.Name))
            continue;
        named.insert(picture.Name);
        if (!QFileInfo(PicturePath(baseDir, picture.Name)).isFile())
            audit.Missing.push_back(picture);
    }
    for (const QString &name : PictureFilesIn(baseDir)) {
        if (!named.contains(name))
            audit.Unnamed.append(name);
    }
    return audit;
}

} // namespace diarypictures
