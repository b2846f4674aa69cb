#include "runtime/ui/dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpacerItem>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <vector>

#include "runtime/ui/accessible.h"

namespace rt::ui {

namespace {

// A message box whose Esc key and close box answer as EscapeAnswer says, or do nothing.
class MessageBoxDialog : public QMessageBox {
  public:
    MessageBoxDialog(QWidget* parent, bool escapes) : QMessageBox(parent), escapes_(escapes) {
        if (!escapes_) setWindowFlag(Qt::WindowCloseButtonHint, false);
        ShowFocusAlways();
    }

  protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (!escapes_ && e->matches(QKeySequence::Cancel)) {
            e->accept();
            return;
        }
        QMessageBox::keyPressEvent(e);
    }
    void closeEvent(QCloseEvent* e) override {
        if (!escapes_) {
            e->ignore();
            return;
        }
        QMessageBox::closeEvent(e);
    }

  private:
    bool escapes_;
};

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// "DAT Files (*.DAT),*.DAT,All Files (*.*),*.*" -> "DAT Files (*.DAT);;All Files (*.*)"
QString QtFilter(const std::string& filter) {
    QStringList parts = Q(filter).split(',');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString desc = parts[i].trimmed();
        QString pattern = parts[i + 1].trimmed().replace(';', ' ');
        if (!desc.contains('(')) desc += " (" + pattern + ")";
        out << desc;
    }
    return out.join(";;");
}

QString StartFolder(const std::string& dir) {
    // A drive letter means nothing here: start in the user's home folder.
    if (dir.empty() || (dir.size() >= 2 && dir[1] == ':')) return QDir::homePath();
    return Q(dir);
}

// What a window frame draws beside the title: its icon, its buttons and their gaps.
constexpr int kTitleBarExtras = 150;
// The frame's own borders, and what the box keeps around its text: margins, the icon and its gap.
constexpr int kFrameBorders = 40;
constexpr int kAroundText = 60;

QRect ScreenArea(const QMessageBox& box) {
    const QScreen* screen = box.screen() != nullptr ? box.screen() : QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

// The size of the program's message boxes. A window frame draws the title beside its buttons and
// cuts what does not fit, and a value the user typed or pasted can be far longer than a screen is
// wide: a box is made at least as wide as its whole title and never wider or taller than the
// screen, and a line of text too long for that is shortened in the middle with "…", so that the
// start of the sentence and the reason at its end both stay readable. Takes the box's title and
// text as they are set; call it before the box is shown.
void FitMessageBox(QMessageBox& box) {
    const QRect area = ScreenArea(box);
    const int widest = area.width() - kFrameBorders;
    // The toolkit wraps a box's text at a width of its own choosing below the screen's; a line
    // that fits there never needs a break it may not find (a run of letters without blanks).
    const int wrapWidth = area.width() <= 1024 ? widest : std::min(area.width() - 480, 1000);
    const int iconWidth =
        box.iconPixmap().isNull()
            ? 0
            : static_cast<int>(box.iconPixmap().width() / box.iconPixmap().devicePixelRatio());
    const int textRoom = std::max(100, wrapWidth - iconWidth - kAroundText);

    const auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    const QFontMetrics text(label != nullptr ? label->font() : box.font());
    const int maxLines = std::max(3, (area.height() - 200) / std::max(1, text.lineSpacing()));
    QStringList lines = box.text().split('\n');
    if (lines.size() > maxLines) {
        lines = lines.mid(0, maxLines - 1);
        lines << QStringLiteral("…");
    }
    for (QString& line : lines)
        if (text.horizontalAdvance(line) > textRoom) line = text.elidedText(line, Qt::ElideMiddle, textRoom);
    box.setText(lines.join('\n'));

    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + kTitleBarExtras;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(std::min(titleWidth, widest), 0, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, std::max(1, grid->columnCount()));
    }
}

// How many lines of a box's details show at once; the others are a scroll away.
constexpr int kDetailLines = 12;

// The details of a box, below its text: as many lines as there are, in an area of a few lines'
// height that scrolls, so that the box stays on the screen whatever their number, and each line
// whole, wrapped where it is longer than the area is wide.
void AddDetails(QMessageBox& box, const std::string& details) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (details.empty() || grid == nullptr) return;
    auto* area = new QPlainTextEdit(&box);
    area->setObjectName(QStringLiteral("laurel_msgbox_details"));
    area->setAccessibleName(QStringLiteral("详细情况"));
    area->setReadOnly(true);
    area->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    area->setPlainText(Q(details));
    const QFontMetrics metrics(area->font());
    area->setFixedHeight(metrics.lineSpacing() * kDetailLines + 2 * area->frameWidth() +
                         static_cast<int>(2 * area->document()->documentMargin()));
    area->setMinimumWidth(std::min(metrics.averageCharWidth() * 64, ScreenArea(box).width() - 200));
    // Below the text, in its column, above the buttons: where the toolkit puts a box's informative
    // text.
    int row = 0, column = 1, rows = 1, columns = 1;
    if (const auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        if (const int at = grid->indexOf(label); at >= 0)
            grid->getItemPosition(at, &row, &column, &rows, &columns);
    grid->addWidget(area, row + rows, column, 1, columns);
}

// Title, text, icon and buttons of a box as `r` asks; returns the buttons in their order.
std::vector<QPushButton*> SetUp(QMessageBox& box, const MessageRequest& r, int escape) {
    box.setWindowTitle(Q(r.title));
    // A value the user typed is shown as typed, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(Q(r.text));
    switch (r.icon) {
        case Icon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case Icon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case Icon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case Icon::StopSign:
            box.setIcon(QMessageBox::Critical);
            break;
        case Icon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    std::vector<std::pair<QString, QMessageBox::ButtonRole>> specs;
    switch (r.buttons) {
        case Buttons::OK:
            specs = {{"确定", QMessageBox::AcceptRole}};
            break;
        case Buttons::OKCancel:
            specs = {{"确定", QMessageBox::AcceptRole}, {"取消", QMessageBox::RejectRole}};
            break;
        case Buttons::YesNo:
            specs = {{"是", QMessageBox::YesRole}, {"否", QMessageBox::NoRole}};
            break;
        case Buttons::YesNoCancel:
            specs = {
                {"是", QMessageBox::YesRole}, {"否", QMessageBox::NoRole}, {"取消", QMessageBox::RejectRole}};
            break;
        case Buttons::RetryCancel:
            specs = {{"重试", QMessageBox::AcceptRole}, {"取消", QMessageBox::RejectRole}};
            break;
        case Buttons::AbortRetryIgnore:
            specs = {{"中止", QMessageBox::RejectRole},
                     {"重试", QMessageBox::AcceptRole},
                     {"忽略", QMessageBox::AcceptRole}};
            break;
        case Buttons::Cancel:
            specs = {{"取消", QMessageBox::RejectRole}};
            break;
    }
    std::vector<QPushButton*> buttons;
    for (auto& [text, role] : specs) buttons.push_back(box.addButton(text, role));
    int def =
        r.defaultButton >= 1 && r.defaultButton <= static_cast<int>(buttons.size()) ? r.defaultButton : 1;
    box.setDefaultButton(buttons[def - 1]);
    if (escape != 0) box.setEscapeButton(buttons[static_cast<size_t>(escape) - 1]);
    AddDetails(box, r.details);
    FitMessageBox(box);
    return buttons;
}

// The answer of the button that closed the box, 0 for none.
int Clicked(const QMessageBox& box, const std::vector<QPushButton*>& buttons) {
    for (size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i]) return static_cast<int>(i) + 1;
    return 0;
}

// How often a waiting box looks whether the wait is over.
constexpr int kWaitingPollMs = 50;

class QtDialogs : public DialogService {
  public:
    int Message(const MessageRequest& r) override {
        const int escape = EscapeAnswer(r.buttons);
        MessageBoxDialog box(QApplication::activeWindow(), escape != 0);
        const std::vector<QPushButton*> buttons = SetUp(box, r, escape);
        for (;;) {
            box.exec();
            if (const int answer = Clicked(box, buttons)) return answer;
            // Closed without a button: a box without a way out asks again, unless the program is
            // ending under it.
            if (escape != 0) return escape;
            if (QCoreApplication::closingDown()) return static_cast<int>(buttons.size());
        }
    }

    int Waiting(const MessageRequest& r, const std::function<bool()>& over) override {
        const int escape = EscapeAnswer(r.buttons);
        MessageBoxDialog box(QApplication::activeWindow(), escape != 0);
        const std::vector<QPushButton*> buttons = SetUp(box, r, escape);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &box, [&] {
            if (over()) box.done(0);
        });
        poll.start(kWaitingPollMs);
        if (over()) return 0;
        box.exec();
        if (const int answer = Clicked(box, buttons)) return answer;
        return over() ? 0 : escape;
    }

    FileAnswer File(const FileRequest& r) override {
        QFileDialog dialog(QApplication::activeWindow(), Q(r.title), StartFolder(r.initialDir),
                           QtFilter(r.filter));
        ShowFocusAlways();
        dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        // The dialog adds the extension itself, so that its question about replacing an existing
        // file is asked about the file that will really be written.
        if (!r.extension.empty()) dialog.setDefaultSuffix(Q(r.extension));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {0, {}, {}};
        QFileInfo info(dialog.selectedFiles().front());
        return {1, info.absoluteFilePath().toStdString(), info.fileName().toStdString()};
    }

    void Help(const std::string& path) override { QDesktopServices::openUrl(QUrl::fromLocalFile(Q(path))); }
    void Link(const std::string& url) override { QDesktopServices::openUrl(QUrl(Q(url))); }
};

}  // namespace

std::unique_ptr<DialogService> MakeQtDialogs() {
    return std::make_unique<QtDialogs>();
}

namespace {
// The Qt service is the default wherever this library is loaded.
const bool kQtDefault = (rt::SetDefaultDialogs(&MakeQtDialogs), true);
}  // namespace

}  // namespace rt::ui
