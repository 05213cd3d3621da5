#include "app/day_strip.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>

namespace kv::app {

namespace {

constexpr qint64 kHour_ms = 3600 * 1000;
constexpr int kLabelHeight = 12;
// Zoomed in no further than ten minutes across the strip: about a second a
// pixel, a frame apart at the usual intervals.
constexpr qint64 kSmallestView_ms = 10 * 60 * 1000;

const QColor kRecorded(222, 232, 222);
const QColor kMoving(255, 200, 120);
const QColor kMotion(40, 90, 200);
const QColor kTrigger(220, 0, 0);
const QColor kMarker(0, 0, 0);

}  // namespace

DayStrip::DayStrip(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("DayStrip"));
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setMinimumHeight(36);
}

void DayStrip::setDay(std::shared_ptr<const review::DayActivity> day) {
    const bool sameDay = day && day_ && day->day == day_->day;
    day_ = std::move(day);
    if (!sameDay && day_) {
        from_ = day_->dayStart_ms;
        to_ = day_->dayEnd_ms;
    }
    update();
}

void DayStrip::setMarker(std::optional<qint64> time_ms) {
    if (marker_ != time_ms) {
        marker_ = time_ms;
        update();
    }
}

void DayStrip::zoom(int steps, qint64 about_ms) {
    if (!day_ || steps == 0) {
        return;
    }
    const qint64 dayLength = day_->dayEnd_ms - day_->dayStart_ms;
    const qint64 length = to_ - from_;
    // Each step halves or doubles the span shown, the moment about staying put.
    qint64 wanted = steps > 0 ? length >> std::min(steps, 10) : length << std::min(-steps, 10);
    wanted = std::clamp(wanted, std::min(kSmallestView_ms, dayLength), dayLength);
    const double share = length > 0 ? double(about_ms - from_) / double(length) : 0.5;
    qint64 from = about_ms - qint64(share * double(wanted));
    from = std::clamp(from, day_->dayStart_ms, day_->dayEnd_ms - wanted);
    from_ = from;
    to_ = from + wanted;
    update();
}

void DayStrip::zoomKey(int steps) {
    zoom(steps, marker_ && *marker_ >= from_ && *marker_ <= to_ ? *marker_ : (from_ + to_) / 2);
}

QRect DayStrip::graphRect() const {
    return QRect(0, 0, width(), std::max(height() - kLabelHeight, 1));
}

qint64 DayStrip::timeAt(int x) const {
    const int w = std::max(width(), 1);
    return from_ + qint64(double(std::clamp(x, 0, w - 1)) + 0.5) * (to_ - from_) / w;
}

int DayStrip::xAt(qint64 time_ms) const {
    return int(double(time_ms - from_) * width() / double(std::max<qint64>(to_ - from_, 1)));
}

void DayStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect g = graphRect();
    p.fillRect(rect(), palette().base());
    if (!day_) {
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.drawText(g, Qt::AlignCenter, tr("Reading the day…"));
        return;
    }
    const auto span = [&](qint64 from, qint64 to) {
        const int left = std::max(xAt(from), 0);
        const int right = std::min(xAt(to), width() - 1);
        return QRect(left, g.top(), std::max(right - left + 1, 1), g.height());
    };
    for (const review::DayRecording& r : day_->recordings) {
        if (r.to_ms >= from_ && r.from_ms < to_) {
            p.fillRect(span(r.from_ms, r.to_ms), kRecorded);
        }
    }
    for (const review::MovementSpan& m : day_->movements) {
        if (m.to_ms >= from_ && m.from_ms < to_) {
            p.fillRect(span(m.from_ms, m.to_ms), kMoving);
        }
    }
    const std::vector<int> peak = review::columnPeaks(day_->frames, from_, to_, width());
    const int most = peak.empty() ? 0 : *std::max_element(peak.begin(), peak.end());
    const int top = std::max({2 * day_->trigger, 1, most});
    for (int c = 0; c < int(peak.size()); ++c) {
        const int bar = std::max(peak[std::size_t(c)], 0) * g.height() / top;
        if (bar > 0) {
            p.fillRect(c, g.bottom() + 1 - bar, 1, bar, kMotion);
        }
    }
    if (day_->trigger > 0) {
        const int y = g.bottom() - day_->trigger * g.height() / top;
        p.setPen(QPen(kTrigger, 1));
        p.drawLine(0, y, width() - 1, y);
    }

    // Hour lines and their labels, as many as fit.
    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.75));
    p.setFont(small);
    const qint64 length = to_ - from_;
    qint64 step = kHour_ms;
    const int labelWidth = p.fontMetrics().horizontalAdvance(QStringLiteral("00:00")) + 6;
    while (step < 6 * kHour_ms && double(step) * width() / double(length) < labelWidth) {
        step *= 2;
    }
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(day_->dayStart_ms);
    for (int hour = 0; hour <= 25; ++hour) {
        // Hours of the local clock, so a day with a clock change keeps its labels right.
        const qint64 t = start.addSecs(qint64(hour) * 3600).toMSecsSinceEpoch();
        if (t < from_ || t > to_ || t > day_->dayEnd_ms) {
            continue;
        }
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(t);
        if ((at.time().hour() * kHour_ms) % step != 0) {
            continue;
        }
        const int x = xAt(t);
        p.setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DotLine));
        p.drawLine(x, g.top(), x, g.bottom());
        p.setPen(palette().color(QPalette::Text));
        // Labels at the ends stay whole inside the strip.
        const int left = std::clamp(x - labelWidth / 2, 0, std::max(width() - labelWidth, 0));
        p.drawText(QRect(left, g.bottom() + 1, labelWidth, kLabelHeight), Qt::AlignCenter,
                   at.toString(QStringLiteral("HH:mm")));
    }
    if (marker_ && *marker_ >= from_ && *marker_ <= to_) {
        const int x = xAt(*marker_);
        p.setPen(QPen(kMarker, 2));
        p.drawLine(x, g.top(), x, g.bottom());
    }
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(g.adjusted(0, 0, -1, -1));
}

void DayStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && day_) {
        Q_EMIT clicked(timeAt(event->position().toPoint().x()));
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void DayStrip::mouseMoveEvent(QMouseEvent* event) {
    if (day_) {
        Q_EMIT hovered(timeAt(event->position().toPoint().x()), event->globalPosition().toPoint());
    }
    QWidget::mouseMoveEvent(event);
}

void DayStrip::leaveEvent(QEvent* event) {
    Q_EMIT hoverEnded();
    QWidget::leaveEvent(event);
}

void DayStrip::wheelEvent(QWheelEvent* event) {
    wheelRest_ += event->angleDelta().y();
    const int steps = wheelRest_ / 120;
    wheelRest_ %= 120;
    zoom(steps, timeAt(event->position().toPoint().x()));
    event->accept();
}

}  // namespace kv::app
