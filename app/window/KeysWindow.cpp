#include "KeysWindow.h"

#include "WindowTexts.h"

#include <QAction>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>

using namespace Qt::StringLiterals;

namespace {

QLabel *heading(const char *text, QWidget *parent)
{
    auto *label = new QLabel(Text(text), parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

void addRow(QFormLayout *layout, const QString &key, const QString &what)
{
    auto *keyLabel = new QLabel(key);
    keyLabel->setTextFormat(Qt::PlainText);
    auto *whatLabel = new QLabel(what);
    whatLabel->setTextFormat(Qt::PlainText);
    layout->addRow(keyLabel, whatLabel);
}

} // namespace

TKeysWindow::TKeysWindow(
    QWidget *diary, const QList<QAction *> &popupEntries, const QString &dataFolder)
    : QWidget(diary, Qt::Window)
{
    setObjectName(u"KeysWindow"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Text(wtext::kKeysTitle));
    auto *layout = new QFormLayout(this);
    layout->setLabelAlignment(Qt::AlignLeft);

    layout->addRow(heading(wtext::kKeysEditorHead, this));
    for (const auto &[key, what] : wtext::kKeysOfTheEditor)
        addRow(layout, Text(key), Text(what));

    // The entries as the menu has them, whoever added them.
    layout->addRow(heading(wtext::kKeysPopupHead, this));
    for (const QAction *entry : popupEntries) {
        if (entry->isSeparator() || !entry->isVisible())
            continue;
        addRow(layout, entry->shortcut().toString(QKeySequence::NativeText),
            QString(entry->text()).remove(u'&'));
    }

    layout->addRow(heading(wtext::kKeysFolderHead, this));
    LblFolder = new QLabel(dataFolder, this);
    LblFolder->setObjectName(u"LblFolder"_s);
    LblFolder->setTextFormat(Qt::PlainText);
    LblFolder->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addRow(LblFolder);
}

void TKeysWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
