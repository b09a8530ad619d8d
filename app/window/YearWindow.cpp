#include "YearWindow.h"

#include "DayTexts.h"
#include "Exceptions.h"
#include "Messages.h"
#include "Services.h"
#include "WindowRules.h"
#include "WindowTexts.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QThread>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace diarystats;

namespace {

constexpr int kCellWidth = 24;
constexpr int kCellHeight = 18;
constexpr int kWeeks = 6;

QColor mixed(const QColor &from, const QColor &to, double part)
{
    return QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * part),
        float(from.greenF() + (to.greenF() - from.greenF()) * part),
        float(from.blueF() + (to.blueF() - from.blueF()) * part));
}

// Of the palette's text and ground, the one that stands out from the fill.
QColor inkOn(const QPalette &palette, const QColor &fill)
{
    const QColor text = palette.color(QPalette::Text);
    const QColor base = palette.color(QPalette::Base);
    return std::abs(text.lightness() - fill.lightness())
            >= std::abs(base.lightness() - fill.lightness())
        ? text
        : base;
}

QLabel *boldLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

TYearDayCell::TYearDayCell(QWidget *parent)
    : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

QSize TYearDayCell::sizeHint() const { return { kCellWidth, kCellHeight }; }

void TYearDayCell::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QColor fill = TYearWindow::ShadeColour(palette(), Shade);
    const QRect cell = rect().adjusted(1, 1, -1, -1);
    painter.fillRect(cell, fill);
    QFont font = painter.font();
    font.setPixelSize(11);
    font.setBold(Shown);
    painter.setFont(font);
    painter.setPen(inkOn(palette(), fill));
    painter.drawText(cell, Qt::AlignCenter, QString::number(Day.day()));
    if (Shown) {
        painter.setPen(QPen(palette().color(QPalette::Text), 2));
        painter.drawRect(cell.adjusted(1, 1, -1, -1));
    }
}

QColor TYearWindow::ShadeColour(const QPalette &palette, int shade)
{
    const QColor ground = palette.color(QPalette::Base);
    // Even a day of few characters stands apart from one without text.
    return shade == 0 ? ground
                      : mixed(ground, palette.color(QPalette::Highlight), 0.25 + 0.1875 * shade);
}

TYearWindow::TYearWindow(QWidget *diary, Qt::DayOfWeek firstDay, std::function<void(double)> open,
    std::function<void(const QString &)> search, std::function<void(int)> want)
    : QWidget(diary, Qt::Window)
    , FOpen(std::move(open))
    , FWant(std::move(want))
    , FFirstDay(firstDay)
{
    setObjectName(u"YearWindow"_s);
    setAttribute(Qt::WA_DeleteOnClose);

    auto *layout = new QVBoxLayout(this);
    // The window grows with the figures and words it is given.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    auto *head = new QHBoxLayout;
    const auto arrow = [this, head](QToolButton *&button, const char *name, Qt::ArrowType type,
                           const char *a11y, int step) {
        button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(name));
        button->setArrowType(type);
        button->setAccessibleName(Text(a11y));
        button->setToolTip(Text(a11y));
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, step] { FWant(FYear + step); });
        head->addWidget(button);
    };
    arrow(BtnPrevYear, "BtnPrevYear", Qt::LeftArrow, wtext::kA11yPrevYearName, -1);
    LblYear = boldLabel(QString(), this);
    LblYear->setObjectName(u"LblYear"_s);
    LblYear->setAlignment(Qt::AlignCenter);
    LblYear->setMinimumWidth(80);
    head->addWidget(LblYear);
    arrow(BtnNextYear, "BtnNextYear", Qt::RightArrow, wtext::kA11yNextYearName, 1);
    head->addStretch(1);
    layout->addLayout(head);

    auto *months = new QGridLayout;
    months->setHorizontalSpacing(16);
    const TWeekdayNames names = DiaryWeekdayNames();
    for (int month = 0; month < 12; ++month) {
        auto *grid = new QGridLayout;
        grid->setSpacing(0);
        grid->addWidget(boldLabel(Text(wtext::kYearViewMonth).arg(month + 1), this), 0, 0, 1, 7);
        for (int weekday = 0; weekday < 7; ++weekday) {
            auto *name = new QLabel(names[size_t((weekday + FFirstDay - 1) % 7)], this);
            name->setAlignment(Qt::AlignCenter);
            name->setForegroundRole(QPalette::PlaceholderText);
            grid->addWidget(name, 1, weekday);
        }
        for (int at = 0; at < kWeeks * 7; ++at) {
            auto *cell = new TYearDayCell(this);
            grid->addWidget(cell, 2 + at / 7, at % 7);
            connect(cell, &QAbstractButton::clicked, this,
                [this, cell] { FOpen(DateToDayNumber(cell->Day)); });
            FCells.push_back(cell);
        }
        for (int row = 2; row < 2 + kWeeks; ++row)
            grid->setRowMinimumHeight(row, kCellHeight);
        for (int column = 0; column < 7; ++column)
            grid->setColumnMinimumWidth(column, kCellWidth);
        months->addLayout(grid, month / 4, month % 4);
    }
    months->setColumnStretch(4, 1);
    layout->addLayout(months);

    auto *legend = new QHBoxLayout;
    for (int shade = 0; shade <= 4; ++shade) {
        auto *swatch = new QLabel(this);
        swatch->setFixedSize(14, 14);
        swatch->setAutoFillBackground(true);
        auto *range = new QLabel(this);
        legend->addWidget(swatch);
        legend->addWidget(range);
        legend->addSpacing(8);
        FLegend.emplace_back(swatch, range);
    }
    legend->addStretch(1);
    layout->addLayout(legend);

    auto *below = new QHBoxLayout;
    LblFacts = new QLabel(this);
    LblFacts->setObjectName(u"LblFacts"_s);
    LblFacts->setTextFormat(Qt::PlainText);
    LblFacts->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    LblFacts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    below->addWidget(LblFacts, 1);
    LblWords = new QLabel(this);
    LblWords->setObjectName(u"LblWords"_s);
    LblWords->setTextFormat(Qt::RichText);
    LblWords->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    LblWords->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    LblWords->setToolTip(Text(wtext::kYearViewWordsTip).arg(LeftOutWordsPath()));
    connect(
        LblWords, &QLabel::linkActivated, this, [search = std::move(search)](const QString &link) {
            search(QUrl::fromPercentEncoding(link.toUtf8()));
        });
    below->addWidget(LblWords, 1);
    layout->addLayout(below);
    layout->addStretch(1);
}

void TYearWindow::ShowYear(int year, QDate shownDay, TFiguresCache::TFiguresPtr figures)
{
    if (!figures && year == FYear)
        figures = FFigures;
    FYear = year;
    FFigures = figures;
    setWindowTitle(Text(wtext::kYearViewTitle).arg(year));
    LblYear->setText(Text(wtext::kYearViewYear).arg(year));
    // Without figures yet, the days stand unshaded until they come.
    const TYearFigures none;
    const TYearFigures &shown = figures ? *figures : none;
    for (int month = 1; month <= 12; ++month) {
        const QDate first(year, month, 1);
        // The first row begins with the first day of the week on or before the 1st.
        const int lead = (first.dayOfWeek() - FFirstDay + 7) % 7;
        for (int at = 0; at < kWeeks * 7; ++at) {
            TYearDayCell *cell = FCells[size_t((month - 1) * kWeeks * 7 + at)];
            const QDate day = first.addDays(at - lead);
            cell->setVisible(day.month() == month);
            if (day.month() != month)
                continue;
            const int characters = shown.CharactersOn(day);
            const double number = DateToDayNumber(day);
            cell->Day = day;
            cell->Shade = shown.ShadeOf(characters);
            cell->Shown = day == shownDay;
            const QString name = Text(wtext::kA11yYearDayName)
                                     .arg(YearText(number) + MonthDayText(number),
                                         QLocale(QLocale::Japanese).toString(characters));
            cell->setAccessibleName(name);
            cell->setToolTip(name);
            cell->setAccessibleDescription(
                cell->Shown ? Text(wtext::kA11yShownDayDescription) : QString());
            cell->update();
        }
    }
    ColourLegend();
    for (int shade = 0; shade <= 4; ++shade) {
        auto [swatch, range] = FLegend[size_t(shade)];
        const QString text = figures ? ShadeRange(shown, shade) : QString();
        swatch->setVisible(shade == 0 || !text.isEmpty());
        range->setText(shade == 0 ? ShadeRange(shown, 0) : text);
    }
    LblFacts->setText(figures ? FactLines(shown).join(u'\n') : Text(wtext::kSearchStillReading));
    // Ranked in rows of three, so that no word is broken over two lines.
    QString words;
    for (size_t i = 0; i < shown.Words.size(); ++i) {
        const TWordCount &word = shown.Words[i];
        words += (i % 3 == 0 ? u"<tr>"_s : QString())
            + u"<td><a href=\"%1\">%2</a></td><td width=\"6\"></td><td align=\"right\">%3</td>"_s
                  .arg(QString::fromLatin1(QUrl::toPercentEncoding(word.Word)),
                      word.Word.toHtmlEscaped(), QString::number(word.Count))
            + (i % 3 == 2 ? u"<td width=\"12\"></td></tr>"_s : u"<td width=\"12\"></td>"_s);
    }
    LblWords->setText(words.isEmpty() ? QString()
                                      : u"<b>"_s + Text(msg::kWordsHead).toHtmlEscaped()
                + u"</b><table cellspacing=\"0\" cellpadding=\"1\">"_s + words + u"</table>"_s);
}

void TYearWindow::ColourLegend()
{
    for (int shade = 0; shade <= 4; ++shade) {
        QLabel *swatch = FLegend[size_t(shade)].first;
        QPalette colours = palette();
        colours.setColor(QPalette::Window, ShadeColour(palette(), shade));
        swatch->setPalette(colours);
    }
}

void TYearWindow::changeEvent(QEvent *event)
{
    // 配色 chosen anew: the days take it as they are drawn, the legend here.
    if (event->type() == QEvent::PaletteChange && !FLegend.empty())
        ColourLegend();
    QWidget::changeEvent(event);
}

TYearDayCell *TYearWindow::Cell(QDate day) const
{
    for (TYearDayCell *cell : FCells) {
        if (cell->isVisibleTo(this) && cell->Day == day)
            return cell;
    }
    return nullptr;
}

void TYearWindow::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return;
    case Qt::Key_Left:
        FWant(FYear - 1);
        return;
    case Qt::Key_Right:
        FWant(FYear + 1);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

TFiguresMaker::TFiguresMaker(QObject *parent, std::function<void(TMade)> made)
    : QObject(parent)
    , FMade(std::move(made))
{
}

TFiguresMaker::~TFiguresMaker() { Stop(); }

void TFiguresMaker::Stop()
{
    if (!FThread)
        return;
    FStop = true;
    FThread->wait();
    delete FThread;
    FThread = nullptr;
    FStop = false;
}

void TFiguresMaker::Start(std::vector<TJob> jobs, QStringList leftOut)
{
    Stop();
    if (jobs.empty())
        return;
    FThread = QThread::create([this, jobs = std::move(jobs), leftOut = std::move(leftOut)] {
        for (const TJob &job : jobs) {
            if (FStop)
                return;
            TMade made { job, job.Texts, QString(), leftOut, nullptr };
            try {
                if (!made.Texts)
                    made.Texts = diarysearch::TSearchIndex::ReadYear(*job.File);
            } catch (const std::exception &e) {
                made.Reason = ExceptionMessage(e);
            }
            made.Figures = std::make_shared<const TYearFigures>(
                MakeFigures(made.Texts ? *made.Texts : diarysearch::TSearchIndex::TYearTexts(),
                    job.Year, leftOut));
            QMetaObject::invokeMethod(
                this, [this, made = std::move(made)] { FMade(made); }, Qt::QueuedConnection);
        }
    });
    FThread->start();
}
