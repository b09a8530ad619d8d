#include "AppServices.h"

#include "Exceptions.h"
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

TStoreNoticesInWindow::TStoreNoticesInWindow()
    : FSaved(std::exchange(DiaryServices().ShowMessage, ShowWindowNotice))
{
}

TStoreNoticesInWindow::~TStoreNoticesInWindow() { DiaryServices().ShowMessage = std::move(FSaved); }
