// Form1's components, built once at creation in stacking order, each at its
// place in the layout table.

#include <QPixmap>
#include <iterator>

#include "ui/Umain.h"
#include "ui/fonts.h"
#include "ui/layout.h"
#include "ui/logo_pictures.h"
#include "ui/row_labels.h"

namespace pelm {
namespace {

QLabel* makePicture(const char* name, const QRect& box, const QPixmap& picture, QWidget* panel) {
    auto* image = new QLabel(panel);
    image->setObjectName(name);
    image->setGeometry(box);
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // unscaled, clipped to the box
    image->setPixmap(picture);
    return image;
}

QLineEdit* makeEdit(const char* name, const QRect& box, const layout::FontSpec& font, QRgb colour,
                    QWidget* panel) {
    auto* edit = new QLineEdit(panel);
    edit->setObjectName(name);
    edit->setGeometry(box);
    edit->setFrame(false);
    edit->setFont(boardFont(font));
    QPalette colours = edit->palette();
    colours.setColor(QPalette::Base, QColor(layout::kBlack));
    colours.setColor(QPalette::Text, QColor(colour));
    edit->setPalette(colours);
    return edit;
}

}  // namespace

void TForm1::createWindow() {
    setObjectName("Form1");
    setWindowTitle(layout::kCaption);
    paintBackground(*this, layout::kBlack);
    setFont(boardFont(layout::kWindowFont));
    resize(layout::kOuterSize - layout::kNominalFrame);
    Panel10 = new Panel("Panel10", layout::kBlack, this);
    Panel10->resize(width(), 0);
}

void TForm1::createClockAndLogos() {
    Labtime = new ClockFace(layout::kDesignClockText, Panel10);
    Labtime->setObjectName("Labtime");
    paintBackground(*Labtime, layout::kBlack);
    Labtime->move(layout::kLabtime);
    applyClockFont();
    Panel7 = new Panel("Panel7", layout::kBlack, Panel10);
    Panel7->setGeometry(layout::kPanel7);
    Image2 = makePicture("Image2", layout::kImage2, largeLogo(), Panel7);
}

void TForm1::createGridAndCovers() {
    DSmenu = new RaceGridModel(this);
    DSmenu->setObjectName("DSmenu");
    DBGrid1 = new ScheduleGrid(DSmenu, Panel10);
    DBGrid1->setGeometry(layout::kDBGrid1);
    Panel1 = new Panel("Panel1", layout::kBlack, Panel10, layout::kPanel1Caption);
    Panel1->setGeometry(layout::kPanel1);
    Panel2 = new Panel("Panel2", layout::kBlack, Panel10, layout::kPanel2Caption);
    Panel2->setGeometry(layout::kPanel2);
    Panel4 = new Panel("Panel4", layout::kWhite, Panel10);
    Panel4->setGeometry(layout::kPanel4);
    Panel5 = new Panel("Panel5", layout::kBlack, Panel10, layout::kPanel5Caption);
    Panel5->setGeometry(layout::kPanel5);
    Panel6 = new Panel("Panel6", layout::kBlack, Panel10, layout::kPanel6Caption);
    Panel6->setGeometry(layout::kPanel6);
    Panel9 = new Panel("Panel9", layout::kBlack, Panel10, layout::kPanel9Caption);
    Panel9->setGeometry(layout::kPanel9);
    Image1 = makePicture("Image1", layout::kImage1, smallLogo(), Panel9);
}

void TForm1::createRowLabels() {
    Panel3 = new Panel("Panel3", layout::kBlack, Panel10);
    Panel3->setGeometry(layout::kPanel3);
    // In the order of the layout's table.
    QLabel** labels[] = {&Label2, &Label5, &Label3, &Label4,  &Label1,
                         &Label6, &Label7, &Label9, &Label10, &Label11};
    static_assert(std::size(labels) == std::size(layout::kRowLabels));
    for (std::size_t i = 0; i < std::size(labels); ++i) {
        *labels[i] = makeRowLabel(Panel3, layout::kRowLabels[i]);
    }
}

void TForm1::createPreviousRace() {
    Ed1 = makeEdit("Ed1", layout::kEd1, layout::kEd1Font, layout::kRed, Panel10);
    Edt = makeEdit("Edt", layout::kEdt, layout::kEdtFont, layout::kSilver, Panel10);
    Edt->setText(layout::kEdtText);
}

void TForm1::createNoticeArea() {
    Splitter1 = new TopSplitter(this);
    connect(Splitter1, &TopSplitter::moved, this, &TForm1::setUpperHeight);
    Panel11 = new Panel("Panel11", layout::kBlack, this);
    Panel11->setRaisedBevel();
    DBMemo1 = new QPlainTextEdit(Panel11);
    DBMemo1->setObjectName("DBMemo1");
    DBMemo1->setGeometry(layout::kDBMemo1);
    DBMemo1->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    DBMemo1->setFont(boardFont(layout::kNoticeFont));
    DBMemo1->setReadOnly(true);
    DBMemo1->setFocusPolicy(Qt::StrongFocus);
    DBMemo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    DBMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    DBMemo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette colours = DBMemo1->palette();
    colours.setColor(QPalette::Base, QColor(layout::kWhite));
    colours.setColor(QPalette::Text, QColor(layout::kNoticeBlue));
    DBMemo1->setPalette(colours);
}

}  // namespace pelm
