// The diary editor against a real store in a temporary folder: what reaches the store when
// the editor moves between days, and what the user can type into it.

#include "AppServices.h"
#include "Cp932.h"
#include "DayNumber.h"
#include "Exceptions.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "Messages.h"
#include "Services.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const char16_t *const kDayNames[] = { u"月", u"火", u"水", u"木", u"金", u"土", u"日" };

double day(int y, int m, int d) { return DateToDayNumber(QDate(y, m, d)); }

// Paste and drop both end in insertFromMimeData; the probe lets the test call it directly.
class TEditProbe : public TKivDiaryEdit {
public:
    using TKivDiaryEdit::insertFromMimeData;
};

} // namespace

class TestKivDiaryEdit : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void editedTextGoesToTheDayLeft();
    void emptiedTextDeletesTheDay();
    void sameDateTouchesNothing();
    void fractionOnlyChangeCountsAsAMove();
    void inactiveOrNoStoreOnlyRecordsTheDate();
    void storeErrorLeavesDateTextAndFlag();
    void reloadDropsEditsAndKeepsCaretWhenUnchanged();
    void commitHandsOverOnce();
    void sourceChangeDiscardsPendingEdits();
    void charactersOutsideCp932GoInAsReferences();
    void inputShowsWhatIsStored_data();
    void inputShowsWhatIsStored();
    void undecodableBytesSurviveWhenTheTextComesBack();
    void openCompositionIsCommittedFirst();
    void keyDownHookSeesAndConsumesKeys();
    void everyDayStartsWithoutUndo_data();
    void everyDayStartsWithoutUndo();
    void undoBringsBackTheBytes();
    void keptLeadByteNeverJoins_data();
    void keptLeadByteNeverJoins();
    void charactersTheCodePageHoldsStayAsTheyAre();
    void pasteTakesPlainTextThroughTheFilter();
    void compositionIsTakenInOnce_data();
    void compositionIsTakenInOnce();
    void noticeOutlastsCompositionUpdates();
    void editsKeepTheirBytes_data();
    void editsKeepTheirBytes();
    void selectionHiddenWithoutFocus();

private:
    void type(const QString &text)
    {
        QTest::sendKeyEvent(QTest::Click, FEdit.get(), Qt::Key_unknown, text, Qt::NoModifier);
    }
    void openStore(TKivDiary &store, QTemporaryDir &dir);

    std::unique_ptr<QTemporaryDir> FDir;
    std::unique_ptr<TScopedDiaryServices> FServices;
    std::unique_ptr<TKivDiary> FStore;
    std::unique_ptr<TEditProbe> FEdit;
    QStringList FMessages;
    TStandIn FPerson; // no box waits for anyone
    int FDateEvents = 0;
};

void TestKivDiaryEdit::openStore(TKivDiary &store, QTemporaryDir &dir)
{
    store.SetBaseDir(dir.path() + u'/');
    store.SetExt(u".jnl"_s);
    store.Open();
}

void TestKivDiaryEdit::init()
{
    FMessages.clear();
    FDateEvents = 0;
    TDiaryServices services;
    services.ShowMessage = [this](const QString &text) { FMessages << text; };
    services.Now = [] { return QDateTime(QDate(2008, 12, 31), QTime(12, 0)); };
    services.ShortDayName
        = [](int dayOfWeek) { return QString::fromUtf16(kDayNames[dayOfWeek - 1]); };
    FServices = std::make_unique<TScopedDiaryServices>(services);

    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    FStore = std::make_unique<TKivDiary>();
    openStore(*FStore, *FDir);
    FEdit = std::make_unique<TEditProbe>();
    FEdit->OnChangeDate = [this](QObject *sender) {
        QCOMPARE(sender, FEdit.get());
        ++FDateEvents;
    };
    FEdit->SetDate(day(2008, 12, 30));
    FEdit->SetSource(FStore.get());
    FDateEvents = 0;
}

void TestKivDiaryEdit::cleanup()
{
    FEdit.reset();
    FStore.reset();
    FServices.reset();
    FDir.reset();
}

void TestKivDiaryEdit::editedTextGoesToTheDayLeft()
{
    FStore->SetDayText(day(2008, 12, 31), "stored");
    type(u"日記"_s);
    QTest::keyClick(FEdit.get(), Qt::Key_Return);
    type(u"two"_s);
    QVERIFY(FEdit->Modified());

    FEdit->SetDate(day(2008, 12, 31));
    QCOMPARE(FStore->GetDayText(day(2008, 12, 30)), QByteArray("\x93\xfa\x8b\x4c\r\ntwo"));
    QCOMPARE(FEdit->toPlainText(), u"stored"_s);
    QVERIFY(!FEdit->Modified());
    QCOMPARE(FEdit->Date(), day(2008, 12, 31));
    QCOMPARE(FDateEvents, 1);

    // A day of the next year without text: the store switches years, the editor is empty.
    FEdit->SetDate(day(2009, 1, 1));
    QCOMPARE(FStore->Year(), 2009);
    QCOMPARE(FEdit->toPlainText(), QString());
}

void TestKivDiaryEdit::emptiedTextDeletesTheDay()
{
    FStore->SetDayText(day(2008, 12, 30), "gone soon");
    FEdit->Reload();
    FEdit->selectAll();
    QTest::keyClick(FEdit.get(), Qt::Key_Delete);
    FEdit->SetDate(day(2008, 12, 31));
    QCOMPARE(FStore->IndexOfDate(day(2008, 12, 30)), -1);
}

void TestKivDiaryEdit::sameDateTouchesNothing()
{
    type(u"pending"_s);
    FEdit->SetDate(day(2008, 12, 30));
    QCOMPARE(FStore->IndexOfDate(day(2008, 12, 30)), -1);
    QVERIFY(FEdit->Modified());
    QCOMPARE(FDateEvents, 0);
}

void TestKivDiaryEdit::fractionOnlyChangeCountsAsAMove()
{
    type(u"x"_s);
    FEdit->SetDate(day(2008, 12, 30) + 0.5);
    QCOMPARE(FStore->GetDayText(day(2008, 12, 30)), QByteArray("x"));
    QCOMPARE(FEdit->toPlainText(), u"x"_s);
    QVERIFY(!FEdit->Modified());
    QCOMPARE(FEdit->Date(), day(2008, 12, 30) + 0.5);
    QCOMPARE(FDateEvents, 1);
}

void TestKivDiaryEdit::inactiveOrNoStoreOnlyRecordsTheDate()
{
    // An inactive store would throw on any call: none may be made.
    TKivDiary inactive;
    FEdit->SetSource(&inactive);
    type(u"kept"_s);
    FEdit->SetDate(day(2010, 1, 1));
    FEdit->Reload();
    FEdit->Commit();
    QCOMPARE(FEdit->Date(), day(2010, 1, 1));
    QCOMPARE(FEdit->toPlainText(), u"kept"_s);
    QVERIFY(FEdit->Modified());

    FEdit->SetSource(nullptr);
    FEdit->SetDate(day(2010, 1, 2));
    QCOMPARE(FEdit->Date(), day(2010, 1, 2));
    QCOMPARE(FEdit->toPlainText(), u"kept"_s);
    QCOMPARE(FDateEvents, 2);
}

void TestKivDiaryEdit::storeErrorLeavesDateTextAndFlag()
{
    type(u"edited"_s);
    const double before = FEdit->Date();
    // 1899-12-31 lies before the first year the store accepts.
    QVERIFY_THROWS_EXCEPTION(EAbnormalYear, FEdit->SetDate(day(1899, 12, 31)));
    QCOMPARE(FEdit->Date(), before);
    QCOMPARE(FEdit->toPlainText(), u"edited"_s);
    QVERIFY(FEdit->Modified());
    QCOMPARE(FDateEvents, 0);
    // The hand-over ran before the refusal; doing it again changes nothing.
    QCOMPARE(FStore->GetDayText(before), QByteArray("edited"));

    // A store that is given while Date is still 0 refuses the year 1899 too, but is kept.
    TKivDiaryEdit fresh;
    fresh.setPlainText(u"as it was"_s);
    QVERIFY_THROWS_EXCEPTION(EAbnormalYear, fresh.SetSource(FStore.get()));
    QCOMPARE(fresh.Source(), FStore.get());
    QCOMPARE(fresh.toPlainText(), u"as it was"_s);
}

void TestKivDiaryEdit::reloadDropsEditsAndKeepsCaretWhenUnchanged()
{
    FStore->SetDayText(day(2008, 12, 30), "line one\r\nline two");
    FEdit->Reload();
    QCOMPARE(FEdit->toPlainText(), u"line one\nline two"_s);

    QTextCursor cursor = FEdit->textCursor();
    cursor.setPosition(2);
    cursor.setPosition(6, QTextCursor::KeepAnchor);
    FEdit->setTextCursor(cursor);
    FEdit->Reload(); // same text: the selection stays
    QCOMPARE(FEdit->textCursor().selectionStart(), 2);
    QCOMPARE(FEdit->textCursor().selectionEnd(), 6);

    type(u"X"_s);
    QVERIFY(FEdit->Modified());
    FEdit->Reload();
    QCOMPARE(FEdit->toPlainText(), u"line one\nline two"_s);
    QVERIFY(!FEdit->Modified());
    QCOMPARE(FStore->GetDayText(day(2008, 12, 30)), QByteArray("line one\r\nline two"));

    // The reload is one step that can be undone, and the text it brings back counts as edited.
    QTest::keyClick(FEdit.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(FEdit->toPlainText(), u"liXne\nline two"_s);
    QVERIFY(FEdit->Modified());
}

void TestKivDiaryEdit::commitHandsOverOnce()
{
    type(u"first"_s);
    FEdit->Commit();
    QCOMPARE(FStore->GetDayText(day(2008, 12, 30)), QByteArray("first"));
    QVERIFY(!FEdit->Modified());

    // Without new edits a second commit must not write the editor's text over the store's.
    FStore->SetDayText(day(2008, 12, 30), "changed elsewhere");
    FEdit->Commit();
    QCOMPARE(FStore->GetDayText(day(2008, 12, 30)), QByteArray("changed elsewhere"));
}

void TestKivDiaryEdit::sourceChangeDiscardsPendingEdits()
{
    type(u"pending"_s);
    FEdit->SetSource(FStore.get()); // the same store: not even a reload
    QCOMPARE(FEdit->toPlainText(), u"pending"_s);
    QVERIFY(FEdit->Modified());

    QTemporaryDir otherDir;
    TKivDiary other;
    openStore(other, otherDir);
    other.SetDayText(day(2008, 12, 30), "other store");
    FEdit->SetSource(&other);
    QCOMPARE(FEdit->toPlainText(), u"other store"_s);
    QVERIFY(!FEdit->Modified());
    QCOMPARE(FStore->IndexOfDate(day(2008, 12, 30)), -1);
    QCOMPARE(other.GetDayText(day(2008, 12, 30)), QByteArray("other store"));
    QCOMPARE(FDateEvents, 0);
    FEdit->SetSource(nullptr);
}

void TestKivDiaryEdit::charactersOutsideCp932GoInAsReferences()
{
    type(u"a😀"_s);
    // As an input method converts a word to an emoji: the composition, then its commit.
    QInputMethodEvent composing(u"にちはーと"_s, {});
    QApplication::sendEvent(FEdit.get(), &composing);
    QInputMethodEvent composed;
    composed.setCommitString(u"日♥"_s);
    QApplication::sendEvent(FEdit.get(), &composed);
    QMimeData pasted;
    pasted.setText(u"&#x41;&#x1F600;"_s);
    FEdit->insertFromMimeData(&pasted);
    const QString shown = u"a😀日♥&#x41;&#x1F600;"_s;
    QCOMPARE(FEdit->toPlainText(), shown);
    QCOMPARE(
        FEdit->StoreText(), "a&#x1F600;" + cp932::Encode(u"日") + "&#x2665;&#x41;&#x26;#x1F600;");
    // Undo takes the emoji back whole, and redo brings back its reference.
    FEdit->undo();
    FEdit->undo();
    QCOMPARE(FEdit->toPlainText(), u"a😀"_s);
    type(u"!"_s);
    FEdit->undo();
    FEdit->redo();
    QCOMPARE(FEdit->StoreText(), "a&#x1F600;!");
    FEdit->Commit();
    FEdit->Refresh();
    QCOMPARE(FEdit->toPlainText(), u"a😀!"_s);
}

void TestKivDiaryEdit::inputShowsWhatIsStored_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("refused");
    QTest::newRow("decomposed voicing marks")
        << u"カ\u3099イト\u3099フ\u3099ック"_s << u"ガイドブック"_s << QString();
    QTest::newRow("no-break space, en dash")
        << u"10\u00A0km \u2013 ok"_s << u"10 km \u2013 ok"_s << QString();
    QTest::newRow("line and paragraph separators")
        << u"a\u2028b\u2029c"_s << u"a\nb\nc"_s << QString();
    QTest::newRow("stored as another character")
        << u"\u301C\u2014\u2016\u2212\u00A2\u00A3\u00AC\u00A5\u203E"_s
        << u"\uFF5E\u2015\u2225\uFF0D\uFFE0\uFFE1\uFFE2\u00A5\u203E"_s << QString();
    QTest::newRow("outside CP932 kept") << u"😀日𠮷1\uFE0F\u20E3\u2764\uFE0F👨\u200D👧"_s
                                        << u"😀日𠮷1\uFE0F\u20E3\u2764\uFE0F👨\u200D👧"_s << QString();
    QTest::newRow("a combining mark joins its letter") << u"e\u0301"_s << u"\u00E9"_s << QString();
    QTest::newRow("no reference carries these, each named once")
        << u"a\u0000b\u0085c"_s + QChar(0xD800) + QChar(0) << u"abc"_s << u"U+0000 U+0085 U+D800"_s;
    QTest::newRow("control characters but the tab")
        << u"a\u001Bb\tc\u007F\u0007"_s << u"ab\tc"_s << u"U+001B U+007F U+0007"_s;
    QTest::newRow("long list cut")
        << u"x\u0081\u0082\u0083\u0084\u0085\u0086\u0087\u0088\u0089\u008A\u008B\u008C\u008D"_s
        << u"x"_s << u"U+0081 U+0082 U+0083 U+0084 U+0085 U+0086 …"_s;
    QTest::newRow("pasted CR LF is one break") << u"a\r\nb"_s << u"a\nb"_s << QString();
}

void TestKivDiaryEdit::inputShowsWhatIsStored()
{
    QFETCH(QString, input);
    QFETCH(QString, shown);
    QFETCH(QString, refused);
    const auto *notice = FEdit->findChild<QLabel *>(u"RefusedNotice"_s);
    QVERIFY(notice);
    const std::function<void()> ways[] = {
        [&] { type(input); },
        [&] {
            QInputMethodEvent composed;
            composed.setCommitString(input);
            QApplication::sendEvent(FEdit.get(), &composed);
        },
        [&] {
            QMimeData dropped;
            dropped.setText(input);
            FEdit->insertFromMimeData(&dropped);
            QCOMPARE(dropped.text(), input);
        },
    };
    for (const auto &enter : ways) {
        FEdit->clear();
        enter();
        QCOMPARE(FEdit->toPlainText(), shown);
        QCOMPARE(notice->isVisibleTo(FEdit.get()), !refused.isEmpty());
        QVERIFY(notice->text().contains(u"「"_s + refused + u"」"_s) || refused.isEmpty());
        FEdit->Commit();
        // What is shown is what a reload shows.
        FEdit->Reload();
        QCOMPARE(FEdit->toPlainText(), shown);
        QTest::keyClick(FEdit.get(), Qt::Key_End);
        QVERIFY(!notice->isVisibleTo(FEdit.get()));
    }
}

void TestKivDiaryEdit::undecodableBytesSurviveWhenTheTextComesBack()
{
    // 0x85 0x40 and 0x80 and 0xFD have no character; 0xED 0x40 is stored again as 0xFA 0x5C
    // when encoded anew; a bare CR shows as a line break.
    const QByteArray raw("abc\x85\x40"
                         "def\x80g\xFD\r\xED\x40\r\n");
    FStore->SetDayText(day(2008, 12, 30), raw);
    const QByteArray held = FStore->GetDayText(day(2008, 12, 30));
    FEdit->Reload();
    QCOMPARE(FEdit->toPlainText(), u"abc\U000F8540def\U000F0080g\U000F00FD\n\u7E8A\n"_s);

    // An edit elsewhere in the day leaves every other byte as it was.
    FEdit->moveCursor(QTextCursor::End);
    type(u"z"_s);
    FEdit->SetDate(day(2008, 12, 31));
    QCOMPARE(FStore->GetDayText(day(2008, 12, 30)), held + "z");

    // Deleting a marker deletes its bytes.
    FEdit->SetDate(day(2008, 12, 30));
    QTextCursor cursor = FEdit->textCursor();
    cursor.setPosition(5);
    FEdit->setTextCursor(cursor);
    QTest::keyClick(FEdit.get(), Qt::Key_Backspace);
    FEdit->Commit();
    QCOMPARE(FStore->GetDayText(day(2008, 12, 30)), QByteArray(held).remove(3, 2) + "z");
}

void TestKivDiaryEdit::openCompositionIsCommittedFirst()
{
    const auto compose = [this](const QString &text) {
        QInputMethodEvent preedit(text, {});
        QApplication::sendEvent(FEdit.get(), &preedit);
    };
    compose(u"にっき"_s);
    QVERIFY(FEdit->toPlainText().isEmpty());
    FEdit->Commit();
    QCOMPARE(FStore->GetDayText(day(2008, 12, 30)), cp932::Encode(u"にっき"));

    compose(u"あした"_s);
    FEdit->SetDate(day(2008, 12, 31));
    QCOMPARE(FStore->GetDayText(day(2008, 12, 30)), cp932::Encode(u"にっきあした"));
    QVERIFY(FEdit->toPlainText().isEmpty());
}

void TestKivDiaryEdit::keyDownHookSeesAndConsumesKeys()
{
    QList<int> seen;
    FEdit->OnKeyDown = [&seen](int &key, Qt::KeyboardModifiers shift) {
        seen << key;
        if (key == Qt::Key_X)
            key = 0;
        else if (key == Qt::Key_Left && shift == Qt::ControlModifier)
            key = 0;
    };
    type(u"ab"_s);
    QTest::keyClick(FEdit.get(), Qt::Key_X);
    QCOMPARE(FEdit->toPlainText(), u"ab"_s);
    QTest::keyClick(FEdit.get(), Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(FEdit->textCursor().position(), 2); // the consumed key did not move the caret
    QTest::keyClick(FEdit.get(), Qt::Key_Left);
    QCOMPARE(FEdit->textCursor().position(), 1);
    // Ctrl itself is a key the hook sees, as it comes before the arrow.
    QCOMPARE(seen,
        (QList<int> { Qt::Key_unknown, Qt::Key_X, Qt::Key_Control, Qt::Key_Left, Qt::Key_Left }));
}

void TestKivDiaryEdit::selectionHiddenWithoutFocus()
{
    QWidget window;
    auto *other = new QLineEdit(&window);
    auto *edit = new TKivDiaryEdit(&window);
    edit->setGeometry(0, 30, 200, 100);
    edit->setPlainText(u"selected text, "_s.repeated(8));
    window.resize(220, 140);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const auto looksSelected = [edit] {
        edit->selectAll();
        const QImage selected = edit->viewport()->grab().toImage();
        edit->moveCursor(QTextCursor::End);
        return selected != edit->viewport()->grab().toImage();
    };
    edit->setFocus();
    QVERIFY(looksSelected());
    other->setFocus();
    QVERIFY(!looksSelected());

    // Also under a palette that arrives later, as when the desktop switches to dark colours.
    const QPalette saved = QApplication::palette();
    QPalette dark = saved;
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, QColor(220, 220, 220));
    QApplication::setPalette(dark);
    QCoreApplication::processEvents();
    const bool selectedUnderDark = looksSelected();
    const QColor baseUnderDark = edit->palette().color(QPalette::Base);
    QApplication::setPalette(saved);
    QVERIFY(!selectedUnderDark);
    QCOMPARE(baseUnderDark, QColor(30, 30, 30)); // the rest of the colours still follow
}

void TestKivDiaryEdit::everyDayStartsWithoutUndo_data()
{
    QTest::addColumn<std::function<void()>>("leave");
    QTest::newRow("another day") << std::function<void()>(
        [this] { FEdit->SetDate(day(2008, 12, 31)); });
    QTest::newRow("another year") << std::function<void()>(
        [this] { FEdit->SetDate(day(2009, 1, 5)); });
    // The text is the same, and yet the history goes.
    QTest::newRow("store read again") << std::function<void()>([this] { FEdit->Refresh(); });
}

void TestKivDiaryEdit::everyDayStartsWithoutUndo()
{
    QFETCH(std::function<void()>, leave);
    type(u"secret one"_s);
    FEdit->selectAll();
    QTest::keyClick(FEdit.get(), Qt::Key_Delete);
    leave();
    QTest::keyClick(FEdit.get(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(FEdit.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(FEdit->toPlainText(), QString());
    QVERIFY(!FEdit->document()->isUndoAvailable() && !FEdit->document()->isRedoAvailable());
}

void TestKivDiaryEdit::undoBringsBackTheBytes()
{
    // Each of these is stored anew under another code.
    const QByteArray held("\xED\x80\xED\x40\x87\x90");
    FStore->SetDayText(day(2008, 12, 30), held);
    FEdit->Refresh();
    FEdit->moveCursor(QTextCursor::End);
    type(u"z"_s);
    FEdit->Reload();
    QTest::keyClick(FEdit.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(FEdit->StoreText(), held + "z");
    FEdit->selectAll();
    QTest::keyClick(FEdit.get(), Qt::Key_Delete);
    QTest::keyClick(FEdit.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(FEdit->StoreText(), held + "z");
    QTest::keyClick(FEdit.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(FEdit->StoreText(), held);
    QTest::keyClick(FEdit.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(FEdit->StoreText(), held + "z");
}

void TestKivDiaryEdit::keptLeadByteNeverJoins_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("caret");
    QTest::addColumn<QString>("input"); // typed, or pasted when it starts with a marker
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArray>("after");
    const QString marker = u"\U000F0081"_s;
    QTest::newRow("typed after it")
        << QByteArray("m\x81") << 3 << u"B"_s << 0 << QByteArray("m\x81");
    QTest::newRow("Japanese after it")
        << QByteArray("m\x81") << 3 << u"あ"_s << 0 << QByteArray("m\x81");
    QTest::newRow("line break deleted") << QByteArray("x\x81\r\nAB") << 3 << QString()
                                        << int(Qt::Key_Delete) << QByteArray("x\x81\r\nAB");
    QTest::newRow("marker pasted before text")
        << QByteArray("def") << 0 << marker << 0 << QByteArray("def");
    // The second key goes into the undo step of the first.
    QTest::newRow("marker typed after typing")
        << QByteArray("def") << 0 << u"ab"_s + marker << 0 << QByteArray("abdef");
    QTest::newRow("a digit does not join") << QByteArray("m\x81") << 3 << u"1"_s << 0
                                           << QByteArray("m\x81"
                                                         "1");
}

void TestKivDiaryEdit::keptLeadByteNeverJoins()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, caret);
    QFETCH(QString, input);
    QFETCH(int, key);
    QFETCH(QByteArray, after);
    FStore->SetDayText(day(2008, 12, 30), stored);
    FEdit->Refresh();
    const QString shown = FEdit->toPlainText();
    QTextCursor cursor = FEdit->textCursor();
    cursor.setPosition(caret);
    FEdit->setTextCursor(cursor);
    const qsizetype markerAt = input.indexOf(QChar::highSurrogate(0xF0081));
    if (key) {
        QTest::keyClick(FEdit.get(), Qt::Key(key));
    } else if (markerAt == 0) {
        QMimeData pasted;
        pasted.setText(input);
        FEdit->insertFromMimeData(&pasted);
    } else if (markerAt > 0) {
        type(input.left(markerAt));
        type(input.mid(markerAt));
    } else {
        type(input);
    }
    FEdit->Commit();
    QCOMPARE(FStore->GetDayText(day(2008, 12, 30)), after);
    // What is shown is what a reload shows; a refused edit says so and leaves nothing to undo.
    const bool refused = markerAt >= 0 || after == stored;
    QCOMPARE(FEdit->toPlainText(), cp932::DecodeLossless(after).replace(u"\r\n"_s, u"\n"_s));
    QCOMPARE(FEdit->findChild<QLabel *>(u"RefusedNotice"_s)->isVisibleTo(FEdit.get()), refused);
    while (FEdit->document()->isUndoAvailable())
        FEdit->undo();
    QCOMPARE(FEdit->toPlainText(), shown);
    QCOMPARE(FEdit->StoreText(), stored);
}

void TestKivDiaryEdit::charactersTheCodePageHoldsStayAsTheyAre()
{
    // Every double-byte code whose character normalising would change.
    QString changed;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        for (int second = 0x40; second <= 0xFC; ++second) {
            const char bytes[] = { char(lead), char(second) };
            const QString c = cp932::DecodeLossless(QByteArrayView(bytes, 2));
            if (c.size() == 1 && c.normalized(QString::NormalizationForm_C) != c
                && !changed.contains(c))
                changed += c;
        }
    }
    QCOMPARE(changed.size(), 23);
    QString refused;
    QCOMPARE(TKivDiaryEdit::AcceptedInput(changed, &refused), changed);
    QVERIFY(refused.isEmpty());
    type(changed);
    FEdit->Commit();
    QCOMPARE(cp932::Decode(FStore->GetDayText(day(2008, 12, 30))), changed);
}

// The text control would take a Markdown copy offered first, or alone, as it stands.
void TestKivDiaryEdit::pasteTakesPlainTextThroughTheFilter()
{
    QMimeData markdownOnly;
    markdownOnly.setData(u"text/markdown"_s, "a\x07**b**");
    FEdit->insertFromMimeData(&markdownOnly);
    QMimeData both;
    both.setData(u"text/markdown"_s, "\x07");
    both.setText(u"c"_s);
    FEdit->insertFromMimeData(&both);
    FEdit->Commit();
    QCOMPARE(FStore->GetDayText(day(2008, 12, 30)), QByteArray("a**b**c"));
}

void TestKivDiaryEdit::compositionIsTakenInOnce_data()
{
    // The ways an input method delivers its copy of a composition the editor took in when the
    // day changed: a commit once the focus came back, a commit from its reset, each with the
    // empty composition update that follows.
    QTest::addColumn<bool>("focusLeft");
    QTest::newRow("commit after a focus-out") << true;
    QTest::newRow("reset that commits") << false;
}

void TestKivDiaryEdit::compositionIsTakenInOnce()
{
    QFETCH(bool, focusLeft);
    QWidget window;
    auto *other = new QLineEdit(&window);
    FEdit->setParent(&window);
    const auto unparent = qScopeGuard([this] { FEdit->setParent(nullptr); });
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    FEdit->setFocus();
    QInputMethodEvent preedit(u"にほんご"_s, {});
    QApplication::sendEvent(FEdit.get(), &preedit);
    if (focusLeft)
        other->setFocus();
    FEdit->SetDate(day(2008, 12, 31));
    FEdit->setFocus();
    QInputMethodEvent late;
    late.setCommitString(u"にほんご"_s);
    QApplication::sendEvent(FEdit.get(), &late);
    QInputMethodEvent empty(QString(), {});
    QApplication::sendEvent(FEdit.get(), &empty);
    QCOMPARE(FEdit->toPlainText(), QString());
    FEdit->SetDate(day(2008, 12, 30));
    QCOMPARE(FEdit->toPlainText(), u"にほんご"_s);
    // A word composed anew is taken in as always.
    QInputMethodEvent again;
    again.setCommitString(u"にほんご"_s);
    QApplication::sendEvent(FEdit.get(), &again);
    QCOMPARE(FEdit->toPlainText(), u"にほんごにほんご"_s);
}

void TestKivDiaryEdit::noticeOutlastsCompositionUpdates()
{
    const auto *notice = FEdit->findChild<QLabel *>(u"RefusedNotice"_s);
    QInputMethodEvent refused;
    refused.setCommitString(u"\u0085"_s);
    QApplication::sendEvent(FEdit.get(), &refused);
    for (const QString &composing : { QString(), u"に"_s, QString() }) {
        QInputMethodEvent update(composing, {});
        QApplication::sendEvent(FEdit.get(), &update);
        QVERIFY(notice->isVisibleTo(FEdit.get()));
    }
    QInputMethodEvent commit;
    commit.setCommitString(u"に"_s);
    QApplication::sendEvent(FEdit.get(), &commit);
    QVERIFY(!notice->isVisibleTo(FEdit.get()));
}

void TestKivDiaryEdit::editsKeepTheirBytes_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QByteArray>("after");
    // Markers that share their first or their second UTF-16 unit.
    QTest::newRow("0x80 -> 0xFD") << QByteArray("a\x80z") << 1 << 3 << u"\U000F00FD"_s
                                  << QByteArray("a\xFDz");
    QTest::newRow("0x80 -> 0x88 0x80")
        << QByteArray("a\x80z") << 1 << 3 << u"\U000F8880"_s << QByteArray("a\x88\x80z");
    QTest::newRow("0xFF alone") << QByteArray("az") << 1 << 1 << u"\U000F00FF"_s
                                << QByteArray("a\xFFz");
    QTest::newRow("refused alone keeps the selection")
        << QByteArray("abc") << 1 << 2 << u"\u0085"_s << QByteArray("abc");
    // Text that would make a kept '&' or the one put in read as a reference escapes it.
    QTest::newRow("typed after a kept &")
        << QByteArray("a&b") << 2 << 2 << u"#x1F600;"_s << QByteArray("a&#x26;#x1F600;b");
    QTest::newRow("& put before kept text")
        << QByteArray("#x2665;") << 0 << 0 << u"&"_s << QByteArray("&#x26;#x2665;");
    QTest::newRow("a reference another program wrote keeps its bytes")
        << QByteArray("&#x1f600;z") << 2 << 3 << u"y"_s << QByteArray("&#x1f600;y");
}

void TestKivDiaryEdit::editsKeepTheirBytes()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, pasted);
    QFETCH(QByteArray, after);
    FStore->SetDayText(day(2008, 12, 30), stored);
    FEdit->Reload();
    QTextCursor cursor = FEdit->textCursor();
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    FEdit->setTextCursor(cursor);
    QMimeData mime;
    mime.setText(pasted);
    FEdit->insertFromMimeData(&mime);
    QCOMPARE(FEdit->StoreText(), after);
    if (after == stored)
        QCOMPARE(
            FEdit->textCursor().selectionEnd() - FEdit->textCursor().selectionStart(), to - from);

    // An input method's reconversion replaces the text it converts, also when it is refused.
    FEdit->setPlainText(u"かんじ"_s);
    FEdit->moveCursor(QTextCursor::End);
    QInputMethodEvent reconverted;
    reconverted.setCommitString(u"漢\u0085字"_s, -3, 3);
    QApplication::sendEvent(FEdit.get(), &reconverted);
    QCOMPARE(FEdit->toPlainText(), u"漢字"_s);
}

QTEST_MAIN(TestKivDiaryEdit)
#include "tst_kivdiaryedit.moc"
