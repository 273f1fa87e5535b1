#pragma once
// Form1: the board's one window. It builds the fixed layout, beats the
// board's life (board_life.h) on its timer and shows what a refresh writes;
// failures of its handlers end in the error box. The components carry the
// board's names.

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>

#include "engine/board.h"
#include "engine/board_runner.h"
#include "engine/clock.h"
#include "ui/board_life.h"
#include "ui/clock_face.h"
#include "ui/clock_font_dialog.h"
#include "ui/error_reporter.h"
#include "ui/panel.h"
#include "ui/race_grid_model.h"
#include "ui/schedule_grid.h"
#include "ui/top_splitter.h"

namespace pelm {

class TForm1 : public QWidget, public Board, private RunnerEvents, private ScreenSource {
    Q_OBJECT

public:
    /// The window of `life`, which must outlive it.
    explicit TForm1(BoardLife& life);
    ~TForm1() override;

    // What a refresh writes.
    void setClockText(const Cp932& text) override;
    void setPreviousRace(const Cp932& title) override;
    void setCurtainVisible(bool visible) override;
    void showUpcoming(std::shared_ptr<const ResultSet> rows) override;
    void setNoticeText(const Cp932& text) override;
    void setNoticeShown(bool shown) override;
    bool noticeShown() const override { return noticeShown_; }
    int windowHeight() const override;
    void setUpperHeight(int height) override;
    void startShowing() override;

    BoardSettings& settings() { return life_.settings(); }
    /// The clock's face, size and colour from the settings.
    void applyClockFont();

    /// Shows the picture at `path` as the large logo and keeps the path as
    /// the Logo setting; reports a picture that cannot be read.
    bool loadLargeLogo(const QString& path);

    /// Closes as asked by SIGTERM, SIGINT or the session's end: the settings
    /// are saved when they can be, and the window closes all the same, since
    /// nobody is there to answer a box and the service manager is waiting.
    void closeBySignal();

public slots:
    void Timer1Timer();
    void N1Click();
    void chimgClick();

signals:
    /// The window has closed for good; the program ends with `exitStatus`
    /// (1 when a close by signal could not save the settings).
    void closed(int exitStatus);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormResize();
    bool FormClose();

    void createWindow();
    void createClockAndLogos();
    void createGridAndCovers();
    void createRowLabels();
    void createPreviousRace();
    void createNoticeArea();
    void createPopupMenus();
    void applyLogoSwitch();
    void centreOnScreen();
    void placeRegions();
    void armBeat();

    // Upper area, in stacking order.
    Panel* Panel10;
    ClockFace* Labtime;
    Panel* Panel7;
    QLabel* Image2;
    RaceGridModel* DSmenu;
    ScheduleGrid* DBGrid1;
    Panel* Panel1;
    Panel* Panel2;
    Panel* Panel4;
    Panel* Panel5;
    Panel* Panel6;
    Panel* Panel9;
    QLabel* Image1;
    Panel* Panel3;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label9, *Label10,
        *Label11;
    QLineEdit* Ed1;
    QLineEdit* Edt;
    // Splitter and notice area.
    TopSplitter* Splitter1;
    Panel* Panel11;
    QPlainTextEdit* DBMemo1;
    QTimer* Timer1;
    // The clock's font choice and the large logo's picture command.
    QMenu* PopupMenu2;
    QAction* N1;
    ClockFontDialog* FD1;
    QMenu* PopupMenu1;
    QAction* chimg;

    // What the runner reports, turned into boxes.
    void startFailed(const Cp932& message, bool connection) override;
    void started() override;
    void refreshFailed(const Cp932& message) override;
    void refreshed(const RefreshCycle& cycle, BoardState state,
                   const std::optional<Cp932>& problem) override;

    // The window as the venue's picture sees it.
    QByteArray screenSignature() const override;
    QByteArray takePicture() override;

    BoardLife& life_;
    const Clock& clock_;    // the life's, for the font dialog's preview
    bool beating_ = false;  // the refresh timer re-arms itself
    ErrorReporter* errors_;
    Cp932 noticeText_;
    bool noticeShown_ = false;
    bool shown_ = false;
    bool closingBySignal_ = false;
};

}  // namespace pelm
