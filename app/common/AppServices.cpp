#include "AppServices.h"

#include "Exceptions.h"
#include "Messages.h"
#include "WindowTexts.h"

#include <exception>

using namespace Qt::StringLiterals;

namespace {

QString &applicationTitle()
{
    static QString title;
    return title;
}

} // namespace

QString ApplicationTitle() { return applicationTitle(); }

void SetApplicationTitle(const QString &title) { applicationTitle() = title; }

QString ExceptionMessage(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return ExceptionMessage(e);
    } catch (...) {
        return Text(wtext::kUnknownError);
    }
}

void ShowException() { ShowErrorBox(ExceptionMessage(std::current_exception())); }

TStoreNoticesInWindow::TStoreNoticesInWindow(TWhich which)
    : FSaved(std::exchange(DiaryServices().ShowMessage, ShowWindowNotice))
{
    if (which == TWhich::All)
        return;
    DiaryServices().ShowMessage = [saved = FSaved](const QString &text) {
        for (const char *merged :
            { msg::kMergedBothTexts, msg::kMergedChangedDays, msg::kReloadKeptDays }) {
            if (text.startsWith(Text(merged))) {
                ShowWindowNotice(text);
                return;
            }
        }
        saved ? saved(text) : ShowMessageBox(text);
    };
}

TStoreNoticesInWindow::~TStoreNoticesInWindow() { DiaryServices().ShowMessage = std::move(FSaved); }
