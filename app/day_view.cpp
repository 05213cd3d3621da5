#include "app/day_view.h"

#include "app/day_strip.h"
#include "review/frame_picture.h"

#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QTextCharFormat>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidgetAction>

#include <cstdlib>

namespace kv::app {

namespace {

const QSize kThumbnail(160, 120);
const QSize kListThumbnail(120, 90);

QString clockText(qint64 time_ms) {
    return QDateTime::fromMSecsSinceEpoch(time_ms).toString(QStringLiteral("HH:mm:ss"));
}

QString lengthText(qint64 ms) {
    const qint64 s = std::max<qint64>(ms / 1000, 1);
    if (s < 60) {
        return DayView::tr("%1 s").arg(s);
    }
    return DayView::tr("%1 min %2 s").arg(s / 60).arg(s % 60);
}

}  // namespace

DayView::DayView(QWidget* parent)
    : QWidget(parent),
      loader_(new review::DayLoader(this)),
      pictures_(new review::FramePictures(this)) {
    setObjectName(QStringLiteral("DayView"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(1);
    auto* header = new QHBoxLayout;
    header->setSpacing(2);
    const auto button = [this, header](const char* name, const QString& text, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setToolTip(tip);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        header->addWidget(b);
        return b;
    };
    previous_ =
        button("tBtnPrevDay", QStringLiteral("◀"), tr("The day before with recordings (Page Up)"));
    date_ = button("tBtnDay", QString(), tr("Choose a day; days with recordings are bold"));
    date_->setPopupMode(QToolButton::InstantPopup);
    next_ =
        button("tBtnNextDay", QStringLiteral("▶"), tr("The day after with recordings (Page Down)"));
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("lbDaySummary"));
    summary_->setToolTip(
        tr("Click the strip to go to a moment; the wheel, or + and - over it, zoom"));
    header->addWidget(summary_, 1);
    movementsButton_ =
        button("tBtnMovements", tr("Movements"), tr("The day's movements as thumbnails"));
    QToolButton* goButton = button("tBtnGoToTime", tr("Go to time…"),
                                   tr("Go to the frame recorded nearest a moment (Ctrl+G)"));
    column->addLayout(header);
    strip_ = new DayStrip(this);
    column->addWidget(strip_, 1);

    calendar_ = new QCalendarWidget;
    calendar_->setObjectName(QStringLiteral("DayCalendar"));
    calendar_->setGridVisible(false);
    auto* menu = new QMenu(date_);
    auto* holder = new QWidgetAction(menu);
    holder->setDefaultWidget(calendar_);
    menu->addAction(holder);
    date_->setMenu(menu);
    connect(calendar_, &QCalendarWidget::clicked, this, [this, menu](QDate day) {
        menu->close();
        showDay(day);
    });

    hover_ = new QLabel(this, Qt::ToolTip);
    hover_->setObjectName(QStringLiteral("DayHover"));
    hover_->setFrameStyle(QFrame::Box | QFrame::Plain);
    hover_->setAlignment(Qt::AlignCenter);
    hover_->setMargin(2);

    movements_ = new QListWidget(this);
    movements_->setWindowFlags(Qt::Popup);
    movements_->setObjectName(QStringLiteral("DayMovements"));
    movements_->setViewMode(QListView::IconMode);
    movements_->setFlow(QListView::LeftToRight);
    movements_->setWrapping(false);
    movements_->setIconSize(kListThumbnail);
    movements_->setGridSize(kListThumbnail + QSize(16, 36));
    movements_->setMovement(QListView::Static);
    movements_->setSelectionMode(QAbstractItemView::SingleSelection);

    connect(previous_, &QToolButton::clicked, this, [this] { stepDay(false); });
    connect(next_, &QToolButton::clicked, this, [this] { stepDay(true); });
    connect(movementsButton_, &QToolButton::clicked, this, &DayView::showMovements);
    connect(goButton, &QToolButton::clicked, this, &DayView::askGoToTime);
    connect(loader_, &review::DayLoader::daysListed, this, &DayView::daysListed);
    connect(loader_, &review::DayLoader::dayLoaded, this, &DayView::dayLoaded);
    connect(pictures_, &review::FramePictures::ready, this, &DayView::pictureReady);
    connect(strip_, &DayStrip::clicked, this, [this](qint64 t) {
        if (activity_) {
            if (const std::optional<review::DayFrame> f = activity_->nearest(t)) {
                goToFrame(*f);
            }
        }
    });
    connect(strip_, &DayStrip::hovered, this, &DayView::hovered);
    connect(strip_, &DayStrip::hoverEnded, this, [this] {
        hovering_.reset();
        hover_->hide();
    });
    connect(movements_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        movements_->hide();
        const auto index = std::size_t(item->data(Qt::UserRole).toULongLong());
        if (activity_ && index < activity_->frames.size()) {
            goToFrame(activity_->frames[index]);
        }
    });
    connect(movements_, &QListWidget::itemClicked, movements_, &QListWidget::itemActivated);
    updateHeader();
}

DayView::~DayView() = default;

void DayView::refresh(const QString& aviPath) {
    aviPath_ = aviPath;
    loader_->listFolder(aviPath_);
    if (day_.isValid()) {
        loader_->loadDay(aviPath_, day_);
    }
}

void DayView::showDay(QDate day) {
    load(day, After::Nothing);
}

void DayView::load(QDate day, After after, qint64 time_ms) {
    if (!day.isValid()) {
        return;
    }
    if (day != day_) {
        strip_->setDay(nullptr);
        activity_.reset();
    }
    day_ = day;
    after_ = after;
    afterTime_ = time_ms;
    calendar_->setSelectedDate(day);
    updateHeader();
    if (!aviPath_.isEmpty()) {
        loader_->loadDay(aviPath_, day);
    }
}

void DayView::stepDay(bool forward) {
    if (!days_) {
        return;
    }
    const QDate day = forward ? days_->nextDay(day_) : days_->previousDay(day_);
    if (day.isValid()) {
        load(day, After::Nothing);
    } else {
        Q_EMIT message(forward ? tr("No recordings after this day")
                               : tr("No recordings before this day"));
    }
}

void DayView::goToTime(const QDateTime& when) {
    QDate day = when.date();
    if (days_ && !days_->days.contains(day)) {
        // The nearest recorded frame is on the nearest day with recordings.
        const QDate before = days_->previousDay(day);
        const QDate after = days_->nextDay(day);
        if (!before.isValid() ||
            (after.isValid() &&
             after.toJulianDay() - day.toJulianDay() < day.toJulianDay() - before.toJulianDay())) {
            day = after;
        } else {
            day = before;
        }
    }
    if (!day.isValid()) {
        Q_EMIT message(tr("Nothing recorded"));
        return;
    }
    if (activity_ && activity_->day == day) {
        if (const std::optional<review::DayFrame> f =
                activity_->nearest(when.toMSecsSinceEpoch())) {
            goToFrame(*f);
        }
        return;
    }
    load(day, After::GoToTime, when.toMSecsSinceEpoch());
}

void DayView::askGoToTime() {
    QDialog dialog(window());
    dialog.setObjectName(QStringLiteral("DlgGoToTime"));
    dialog.setWindowTitle(tr("Go to time"));
    auto* column = new QVBoxLayout(&dialog);
    auto* edit = new QDateTimeEdit(&dialog);
    edit->setObjectName(QStringLiteral("edGoToTime"));
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const qint64 shown = strip_->day() ? (strip_->viewFrom() + strip_->viewTo()) / 2 : 0;
    edit->setDateTime(shown ? QDateTime::fromMSecsSinceEpoch(shown) : QDateTime::currentDateTime());
    column->addWidget(new QLabel(tr("The frame recorded nearest this moment is shown."), &dialog));
    column->addWidget(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    column->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    edit->setFocus();
    if (dialog.exec() == QDialog::Accepted) {
        goToTime(edit->dateTime());
    }
}

bool DayView::jumpToMovement(qint64 time_ms, bool forward) {
    if (!activity_ || !days_ || time_ms < activity_->dayStart_ms ||
        time_ms >= activity_->dayEnd_ms) {
        return false;
    }
    if (const std::optional<review::MovementSpan> m = activity_->nextMovement(time_ms, forward)) {
        goToFrame(activity_->frames[m->firstFrame]);
        return true;
    }
    const QDate day = forward ? days_->nextDay(day_) : days_->previousDay(day_);
    if (day.isValid()) {
        load(day, forward ? After::FirstMovement : After::LastMovement);
    } else {
        Q_EMIT message(tr("No further movement"));
    }
    return true;
}

void DayView::setShownFrame(const QString& path, std::optional<QDateTime> taken) {
    Q_UNUSED(path);
    strip_->setMarker(taken ? std::optional<qint64>(taken->toMSecsSinceEpoch()) : std::nullopt);
    if (taken && taken->date() != day_ && after_ == After::Nothing) {
        load(taken->date(), After::Nothing);
    }
}

bool DayView::zoomKey(int steps) {
    if (!isVisible() || !strip_->underMouse()) {
        return false;
    }
    strip_->zoomKey(steps);
    return true;
}

void DayView::daysListed(std::shared_ptr<const review::FolderDays> days) {
    days_ = std::move(days);
    markCalendar();
    if (!day_.isValid()) {
        // The latest day with recordings, or today.
        showDay(days_->days.empty() ? QDate::currentDate() : days_->days.rbegin()->first);
    }
    updateHeader();
}

void DayView::dayLoaded(std::shared_ptr<const review::DayActivity> day) {
    if (!day || day->day != day_) {
        return;  // an answer to a day no longer wanted
    }
    activity_ = std::move(day);
    strip_->setDay(activity_);
    if (!activity_->warnings.isEmpty()) {
        const QString& first = activity_->warnings.front();
        const auto more = activity_->warnings.size() - 1;
        Q_EMIT message(more == 0 ? first : tr("%1 (and %2 more)").arg(first).arg(more));
    }
    const After after = std::exchange(after_, After::Nothing);
    switch (after) {
        case After::GoToTime:
            if (const std::optional<review::DayFrame> f = activity_->nearest(afterTime_)) {
                goToFrame(*f);
            }
            break;
        case After::FirstMovement:
        case After::LastMovement:
            if (!activity_->movements.empty()) {
                const review::MovementSpan& m = after == After::FirstMovement
                                                    ? activity_->movements.front()
                                                    : activity_->movements.back();
                goToFrame(activity_->frames[m.firstFrame]);
            } else {
                // On to the next day that has any.
                const bool forward = after == After::FirstMovement;
                const QDate next = forward ? days_->nextDay(day_) : days_->previousDay(day_);
                if (next.isValid()) {
                    load(next, after);
                } else {
                    Q_EMIT message(tr("No further movement"));
                }
            }
            break;
        case After::Nothing:
            break;
    }
    updateHeader();
    if (movements_->isVisible()) {
        showMovements();
    }
}

void DayView::goToFrame(const review::DayFrame& frame) {
    if (!activity_ || frame.recording < 0 ||
        std::size_t(frame.recording) >= activity_->recordings.size()) {
        return;
    }
    strip_->setMarker(frame.time_ms);
    Q_EMIT goTo(activity_->recordings[std::size_t(frame.recording)].path, frame.frame);
}

void DayView::hovered(qint64 time_ms, QPoint global) {
    hoverAt_ = global;
    std::optional<review::DayFrame> f = activity_ ? activity_->nearest(time_ms) : std::nullopt;
    // A frame more than a few pixels away is not what the mouse points at.
    const qint64 reach = 4 * (strip_->viewTo() - strip_->viewFrom()) / std::max(strip_->width(), 1);
    if (f && std::abs(f->time_ms - time_ms) > reach) {
        f.reset();
    }
    const QPoint at = global + QPoint(-kThumbnail.width() / 2, -kThumbnail.height() - 40);
    if (!f) {
        hovering_.reset();
        hover_->setPixmap({});
        hover_->setText(tr("%1, nothing recorded").arg(clockText(time_ms)));
        hover_->adjustSize();
        hover_->move(global + QPoint(-hover_->width() / 2, -hover_->height() - 12));
        hover_->show();
        return;
    }
    const bool same =
        hovering_ && hovering_->recording == f->recording && hovering_->frame == f->frame;
    hovering_ = f;
    if (!same) {
        const QString& path = activity_->recordings[std::size_t(f->recording)].path;
        pictures_->request(path, f->frame, kThumbnail);
    }
    hover_->move(at);
}

void DayView::pictureReady(const QString& path, qint64 frame, const QImage& picture,
                           const QString& error) {
    if (!activity_) {
        return;
    }
    if (hovering_ && std::size_t(hovering_->recording) < activity_->recordings.size() &&
        activity_->recordings[std::size_t(hovering_->recording)].path == path &&
        hovering_->frame == frame) {
        const QString time = clockText(hovering_->time_ms);
        if (picture.isNull()) {
            hover_->setPixmap({});
            hover_->setText(tr("%1\n%2").arg(time, error));
        } else {
            // The time written under the picture.
            QPixmap shown(picture.width(), picture.height() + 16);
            shown.fill(palette().color(QPalette::ToolTipBase));
            QPainter p(&shown);
            p.drawImage(0, 0, picture);
            p.setPen(palette().color(QPalette::ToolTipText));
            p.drawText(QRect(0, picture.height(), picture.width(), 16), Qt::AlignCenter, time);
            p.end();
            hover_->setText(QString());
            hover_->setPixmap(shown);
        }
        hover_->adjustSize();
        hover_->move(hoverAt_ + QPoint(-hover_->width() / 2, -hover_->height() - 12));
        hover_->show();
    }
    // The movement list fills in one thumbnail after the other.
    if (movements_->isVisible() && movementPictures_ < std::size_t(movements_->count())) {
        QListWidgetItem* item = movements_->item(int(movementPictures_));
        const auto index = std::size_t(item->data(Qt::UserRole).toULongLong());
        if (index < activity_->frames.size()) {
            const review::DayFrame& f = activity_->frames[index];
            if (activity_->recordings[std::size_t(f.recording)].path == path && f.frame == frame) {
                if (!picture.isNull()) {
                    item->setIcon(QIcon(QPixmap::fromImage(picture)));
                }
                ++movementPictures_;
                if (movementPictures_ < std::size_t(movements_->count())) {
                    const auto nextIndex = std::size_t(
                        movements_->item(int(movementPictures_))->data(Qt::UserRole).toULongLong());
                    const review::DayFrame& g = activity_->frames[nextIndex];
                    pictures_->request(activity_->recordings[std::size_t(g.recording)].path,
                                       g.frame, kListThumbnail);
                }
            }
        }
    }
}

void DayView::showMovements() {
    movements_->clear();
    movementPictures_ = 0;
    if (!activity_ || activity_->movements.empty()) {
        Q_EMIT message(tr("No movement on this day"));
        movements_->hide();
        return;
    }
    for (const review::MovementSpan& m : activity_->movements) {
        auto* item = new QListWidgetItem(
            tr("%1\n%2").arg(clockText(m.from_ms), lengthText(m.to_ms - m.from_ms)));
        item->setData(Qt::UserRole, qulonglong(m.firstFrame));
        item->setTextAlignment(Qt::AlignCenter);
        movements_->addItem(item);
    }
    const QRect screen = window()->geometry();
    const int width = std::min(screen.width(), std::max(this->width(), 320));
    movements_->resize(width, kListThumbnail.height() + 64);
    movements_->move(mapToGlobal(QPoint(0, -movements_->height())));
    movements_->show();
    movements_->setFocus();
    const review::DayFrame& f = activity_->frames[activity_->movements.front().firstFrame];
    pictures_->request(activity_->recordings[std::size_t(f.recording)].path, f.frame,
                       kListThumbnail);
}

void DayView::markCalendar() {
    calendar_->setDateTextFormat(QDate(), QTextCharFormat());
    if (!days_) {
        return;
    }
    QTextCharFormat recorded;
    recorded.setFontWeight(QFont::Bold);
    recorded.setBackground(QColor(222, 232, 222));
    for (const auto& entry : days_->days) {
        calendar_->setDateTextFormat(entry.first, recorded);
    }
}

void DayView::updateHeader() {
    date_->setText(day_.isValid() ? QLocale().toString(day_, QLocale::ShortFormat) : tr("No day"));
    previous_->setEnabled(days_ && days_->previousDay(day_).isValid());
    next_->setEnabled(days_ && days_->nextDay(day_).isValid());
    if (!activity_) {
        summary_->setText(day_.isValid() ? tr("Reading…") : QString());
        movementsButton_->setEnabled(false);
        return;
    }
    if (activity_->recordings.empty()) {
        summary_->setText(tr("Nothing recorded"));
    } else {
        const auto recordings = int(activity_->recordings.size());
        const auto movements = int(activity_->movements.size());
        summary_->setText(
            (recordings == 1 ? tr("1 recording") : tr("%1 recordings").arg(recordings)) +
            QStringLiteral(", ") +
            (movements == 1 ? tr("1 movement") : tr("%1 movements").arg(movements)));
    }
    movementsButton_->setEnabled(!activity_->movements.empty());
}

}  // namespace kv::app
