#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

// The pictures of the folder seen from both sides: the lines of the year files that name one,
// and the picture files below photos/.
namespace diarypictures {

struct TNamedPicture {
    double Date = 0;
    QString Name;
};

struct TPictureAudit {
    // Every picture a line names, in the order of the years and days.
    std::vector<TNamedPicture> Named;
    // Named pictures without their file.
    std::vector<TNamedPicture> Missing;
    // Picture files that no line names.
    QStringList Unnamed;
    // Year files that could not be read: what they name is not known, so no file is taken for
    // unnamed on their account.
    QStringList Unread;
    QSet<QString> NamedSet() const;
};

// Reads every year file of the folder (as the store spells it) and lists the folder's picture
// files against the lines.
TPictureAudit AuditPictures(const QString &baseDir, const QString &prefix, const QString &ext);

} // namespace diarypictures
