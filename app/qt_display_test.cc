// The desktop window on Qt's offscreen platform at 96 dpi, where one pixel is
// 15 twips; and, through the qt_test_xvfb entry, on a real X server.
#include "app/qt_display.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <stdexcept>

#include "app/form1.h"
#include "db/test_host.h"

namespace addbook {
namespace {

QString Q(std::u16string_view s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }

template <class T = QWidget>
T* Find(const QtDisplay& display, const char* name) {
  return display.window()->findChild<T*>(QString::fromLatin1(name));
}

// Presses OK on each modal box once it is open, after |seen| has looked at it.
class BoxPresser {
 public:
  explicit BoxPresser(std::function<void(QMessageBox&)> seen) {
    QObject::connect(&timer_, &QTimer::timeout, [seen] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        seen(*box);
        box->button(QMessageBox::Ok)->click();
      }
    });
    timer_.start(10);
  }

 private:
  QTimer timer_;
};

struct Place {
  const char* name;
  int left, top, width, height;  // twips
};
// clang-format off
constexpr Place kPlaces[] = {
    {"List1", 120, 120, 6375, 1035},       {"Text1", 120, 1560, 9135, 1815},
    {"First", 6960, 3720, 1695, 375},      {"Command1", 6960, 4320, 1695, 375},
    {"Command2", 6960, 4920, 1695, 375},   {"lCurVol", 360, 3720, 615, 255},
    {"lCurBook", 1080, 3720, 615, 255},    {"lCurChapter", 1800, 3720, 615, 255},
    {"lCurHadeeth", 2520, 3720, 615, 255}, {"lCurSubChapter", 3240, 3720, 615, 255},
    {"lPhase", 360, 4200, 5895, 255},      {"lBAB", 360, 4680, 615, 255}};
// clang-format on

TEST(QtDisplayTest, WindowAndControlsAsLaidOut) {
  ASSERT_EQ(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96);
  QtDisplay display;
  QWidget* window = display.window();
  EXPECT_EQ(window->windowTitle(), "Varnel - Adding Book");
  EXPECT_EQ(window->size(), QSize(433, 79));
  for (const Place& p : kPlaces) {
    SCOPED_TRACE(p.name);
    QWidget* control = Find(display, p.name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->geometry(), QRect(p.left / 15, p.top / 15, p.width / 15, p.height / 15));
    // Only the list is in view; nothing else is hidden or disabled.
    EXPECT_EQ(window->rect().intersects(control->geometry()), p.name == std::string("List1"));
    EXPECT_TRUE(!control->isHidden() && control->isEnabled());
  }
  EXPECT_EQ(Find<QPushButton>(display, "Command1")->text(), "Next");

  // Tab reaches the text box and the list, never a button.
  display.ShowWindow();
  QApplication::setActiveWindow(window);
  Find(display, "Text1")->setFocus();
  std::set<std::string> focused;
  for (int i = 0; i < 8; ++i) {
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(QApplication::focusWidget(), &tab);
    focused.insert(QApplication::focusWidget()->objectName().toStdString());
  }
  EXPECT_EQ(focused, (std::set<std::string>{"List1", "Text1"}));
}

TEST(QtDisplayTest, CaptionsShowExactlyWhatIsStored) {
  QtDisplay display;
  for (std::u16string_view text : {u"كتاب العلم  \r\n", u"a & b", u"[*]", u"  eof \r\n", u""}) {
    display.ShowCaption(Control::kPhase, text);
    display.ShowCaption(Control::kFirst, text);
    EXPECT_EQ(Find<QLabel>(display, "lPhase")->text(), Q(text));
    QPushButton* first = Find<QPushButton>(display, "First");
    EXPECT_EQ(first->text().replace("&&", "&"), Q(text));
    EXPECT_TRUE(first->shortcut().isEmpty()) << first->text().toStdString();
  }
}

// A button's handler runs inside Qt's event delivery; what it throws reaches
// the run at its next event point, once.
TEST(QtDisplayTest, ClicksReachTheWindowObject) {
  struct Events : DisplayEvents {
    void Closing() override {}
    void Clicked(Control button) override {
      clicked = button;
      throw std::runtime_error("stop");
    }
    Control clicked = Control::kText1;
  } events;
  QtDisplay display;
  display.SetEvents(&events);
  Find<QPushButton>(display, "Command2")->click();
  EXPECT_THROW(display.DoEvents(), std::runtime_error);
  EXPECT_EQ(events.clicked, Control::kCommand2);
  EXPECT_NO_THROW(display.DoEvents());
}

TEST(QtDisplayTest, ModalBoxesWithOkOnly) {
  struct Row {
    std::u16string_view prompt, title;
    BoxStyle style;
    QMessageBox::Icon icon;
    QString shown_title;
  };
  for (const Row& r : std::initializer_list<Row>{
           {u"Upgrade Varnel Program, and try again", u"", BoxStyle::kPlain, QMessageBox::NoIcon,
            "Adding Book"},
           {u"-1 <b>no</b> such table", u"DB Error  ( 0 )", BoxStyle::kCritical,
            QMessageBox::Critical, "DB Error  ( 0 )"},
           {u"لا يوجد\r\nline two", u"[*] x", BoxStyle::kPlain, QMessageBox::NoIcon, "[*] x"}}) {
    QtDisplay display;
    QString text, title;
    QMessageBox::Icon icon{};
    BoxPresser presser([&](QMessageBox& box) {
      text = box.textFormat() == Qt::PlainText ? box.text() : "<not plain>";
      title = box.windowHandle()->title();
      icon = box.icon();
      EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
    });
    display.MsgBox(r.prompt, r.style, r.title);  // returns once OK is pressed
    EXPECT_EQ(text, Q(r.prompt));
    EXPECT_EQ(title, r.shown_title);
    EXPECT_EQ(icon, r.icon);
  }
}

// The whole import through the window.  The book's title insert fails (no
// Titles table), so the run adds list lines and handles events on its
// failure path.
class QtRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::path dir = std::filesystem::path(host_.folder()) / "exe";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "h1.txt", std::ios::binary)
        << "*BOOK*name\r\n*1*one\r\n012 sanad\r\n*EOF*\r\n";
    ASSERT_EQ(host_.Exec("DROP TABLE Titles"), "");
    Platform platform;
    platform.read_host_folder = [this] { return host_.sep(); };
    platform.executable_dir = dir.string();
    form_ = std::make_unique<Form1>(display_, std::move(platform));
  }
  std::vector<QString> Lines() {
    std::vector<QString> lines;
    auto* list = Find<QListWidget>(display_, "List1");
    for (int i = 0; i < list->count(); ++i) lines.push_back(list->item(i)->text());
    return lines;
  }
  std::string Count(const char* table) {
    return host_.Value(std::string("SELECT count(*) FROM ") + table).value_or("?");
  }

  TestHost host_;
  QtDisplay display_;
  std::unique_ptr<Form1> form_;
  std::vector<QString> boxes_;
  BoxPresser presser_{[this](QMessageBox& box) { boxes_.push_back(box.text()); }};
};

TEST_F(QtRunTest, RunsToTheEndOfTheBook) {
  form_->Form_Load();
  EXPECT_EQ(form_->outcome(), RunOutcome::kFinished);
  std::vector<QString> lines = Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], Q(Form1::kStartLine1));
  EXPECT_EQ(lines[1], Q(Form1::kStartLine2));
  EXPECT_TRUE(lines[2].startsWith("dbCMD:") && lines[3].startsWith("SQL Select:"));
  EXPECT_EQ(Find<QLabel>(display_, "lPhase")->text(), "eof");
  EXPECT_EQ(Count("Hadeeths"), "1");
  // The title lookup reads the recordset that its failed query left closed.
  EXPECT_EQ(boxes_, std::vector<QString>{"Operation is not allowed when the object is closed."});

  // The picture: the two start lines are drawn where the list has them.
  QImage image = display_.window()->grab().toImage();
  ASSERT_TRUE(image.save("qt_window.png"));
  auto* list = Find<QListWidget>(display_, "List1");
  const QRgb background = list->palette().color(QPalette::Base).rgb();
  const QPoint origin = list->viewport()->mapTo(display_.window(), QPoint(0, 0));
  for (int row = 0; row < 2; ++row) {
    QRect rect = list->visualItemRect(list->item(row)).translated(origin);
    int inked = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
      for (int x = rect.left(); x <= rect.right(); ++x) inked += image.pixel(x, y) != background;
    EXPECT_GT(inked, 50) << "line " << row;
  }
}

TEST_F(QtRunTest, ClosingTheWindowStopsTheRun) {
  // The user closes the window once the first failure line is in the list.
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [this] {
    if (Lines().size() > 2) display_.window()->close();
  });
  timer.start(0);
  form_->Form_Load();
  EXPECT_EQ(form_->outcome(), RunOutcome::kClosed);
  EXPECT_EQ(Lines().size(), 3u);
  EXPECT_EQ(Count("Books"), "1");
  EXPECT_EQ(Count("Hadeeths"), "0");
  EXPECT_TRUE(boxes_.empty());
}

// Runs only on a real X server: the qt_test_xvfb entry.
TEST(QtOnX, TitleAndSize) {
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server";
  QtDisplay display;
  display.ShowWindow();
  QWindow* handle = display.window()->windowHandle();
  QElapsedTimer clock;
  clock.start();
  while (!handle->isExposed() && clock.elapsed() < 5000) QApplication::processEvents();
  ASSERT_TRUE(handle->isExposed());
  const double dpi = handle->screen()->logicalDotsPerInch();
  EXPECT_EQ(handle->title(), "Varnel - Adding Book");
  EXPECT_EQ(handle->size(), QSize(qRound(6495 * dpi / 1440), qRound(1185 * dpi / 1440)));
}

}  // namespace
}  // namespace addbook

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
