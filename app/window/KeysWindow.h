#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QAction;
class QLabel;

// The keys at hand, beside the diary: the editor's keys, the entries of the popup menu with
// theirs, and where the data folder is. Not modal; Esc closes it.
class TKeysWindow : public QWidget {
    Q_OBJECT

public:
    TKeysWindow(QWidget *diary, const QList<QAction *> &popupEntries, const QString &dataFolder);

    QLabel *LblFolder = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
