#pragma once

// The Playback page: loads a recording in the background, plays and steps
// it, moves between recordings and movements, saves and prints the frame
// shown and draws the journal's activity behind the track bar. It works on
// the page's controls; the window only forwards keys and shutdown to it.

#include "app/form_controls.h"
#include "media/clock.h"
#include "record/journal.h"
#include "session/settings.h"

#include <QDateTime>
#include <QImage>
#include <QObject>

#include <optional>
#include <vector>

namespace kv::session {
class RecordingSession;
}
namespace kv::playback {
class PlaybackGraph;
enum class PlaybackBuild;
}  // namespace kv::playback

namespace kv::app {

class PlaybackPage : public QObject {
    Q_OBJECT
  public:
    // window: parent of the boxes; settings: the recording folder is read
    // from it; terminating: set once the program ends.
    PlaybackPage(const Form1Controls& controls, QWidget* window, const session::Settings& settings,
                 session::RecordingSession& session, const media::Clock& clock,
                 const bool& terminating);
    ~PlaybackPage() override;

    void tBtnOpenActualClick();
    void BtnOpenClick();
    void PanelPlaybackDblClick() { BtnOpenClick(); }
    void BtnStopClick();
    void BtnStartClick();
    void BtnBackClick();
    void BtnForwardClick();
    void BtnPrevFileClick() { StepRecordFile(false); }
    void BtnNextFileClick() { StepRecordFile(true); }
    void BtnSaveClick();
    void tBtnPrintClick();
    // Opens the film dialog on filmDay().
    void tBtnFilmClick();
    // The day of the frame shown, else of the recording loaded (by its name), else today.
    QDate filmDay() const;
    // Loads a film or recording and shows its first frame.
    void openFile(const QString& path);
    void TBPlaybackChange();
    void TBPlaybackStartDrag();
    void TBPlaybackEndDrag();
    void TimerTrackBarTimer();
    void PlaybackGraphNotify();
    void StepRecordFile(bool forward);
    // Starts loading PlaybackFileName(); PlaybackLoadFinished ends it.
    void BuildPlaybackGraph();
    void PlaybackLoadFinished(kv::playback::PlaybackBuild result);
    void BtnCancelLoadClick();
    void ClosePlaybackGraph();
    // The play speed: +1 faster, -1 slower, 0 the next one round.
    void ChangePlaySpeed(int step);
    // Ctrl+Right / Ctrl+Left: the next (previous) start of a movement, in this
    // recording or the neighbouring ones.
    void JumpToMovement(bool forward);
    // The page's keys while it is shown; false leaves the key to others.
    bool keyPressed(int key, Qt::KeyboardModifiers modifiers);

    // Shows a frame of a recording, loading it first when another is loaded.
    void showRecordedFrame(const QString& path, qint64 frame);
    // The day view, reading the recording folder again (a cheap look at
    // unchanged recordings) while it is shown.
    void refreshDayView();
    void showDayView();

    void showPlaybackPosition();
    void showPlaybackActivity();
    // When the frame shown was taken, from its journal.
    std::optional<QDateTime> shownFrameTime() const;
    qint64 shownFrame() const;
    const QString& PlaybackFileName() const { return playbackFileName_; }
    void setPlaybackFileName(const QString& name);
    playback::PlaybackGraph& playbackGraph() { return *playbackGraph_; }

  protected:
    bool event(QEvent* event) override;

  private:
    void wireControls();
    // The frame shown, upright; null when nothing is loaded.
    QImage exportedFrame() const;

    Form1Controls c_;
    QWidget* window_;
    const session::Settings& settings_;
    session::RecordingSession& session_;
    const media::Clock& clock_;
    const bool& terminating_;
    playback::PlaybackGraph* playbackGraph_ = nullptr;
    QString playbackFileName_;
    std::vector<record::JournalLine> playbackJournal_;  // of the file loaded
    std::optional<qint64> seekAfterLoad_;               // the frame to show once loaded
};

}  // namespace kv::app
