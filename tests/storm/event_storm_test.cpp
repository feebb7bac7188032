// A storm of random user events on the real window. After every event the window must agree
// with itself and with a plain model of what the event may change: the controls with the
// state, the views with the state, the preview with a fresh conversion of the state, the
// files with what was converted. Nothing may crash, leak or show an error nobody asked for.
//
// VANTREL_STORM_SECONDS (default 10) sets how long it runs, VANTREL_STORM_SEED (default 1)
// which sequence of events it plays; a failure names the seed and the event.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/Overlay.h"
#include "app/Unit2.h"
#include "app/zoom_window.h"
#include "c64/d64_image.h"
#include "c64/machine.h"
#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "convert/conversion.h"
#include "convert/kernels.h"
#include "core/str_to_int.h"
#include "fake_dialogs.h"
#include "picture/photo.h"
#include "picture/picture_scale.h"
#include "picture/source_window.h"
#include "session/session.h"
#include "support/converter_states.h"
#include "support/jpeg_writer.h"
#include "support/picture_writers.h"

namespace {

using namespace vantrel;

int EnvironmentNumber(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::atoi(text) : fallback;
}

std::vector<std::uint32_t> Words(const std::uint32_t* words, int count) {
  return {words, words + count};
}

std::vector<std::uint32_t> PreviewWords(const Bitmap32& preview) {
  std::vector<std::uint32_t> words;
  for (int y = 0; y < WindowHeight; ++y) {
    words.insert(words.end(), preview.ScanLine(y), preview.ScanLine(y) + WindowWidth);
  }
  return words;
}

// What a view shows, as PackedRGB words.
std::vector<std::uint32_t> ViewWords(const TImage& view) {
  const QImage picture = view.Picture();
  std::vector<std::uint32_t> words;
  if (picture.isNull()) return words;
  for (int y = 0; y < WindowHeight; ++y) {
    const auto* line = reinterpret_cast<const std::uint32_t*>(picture.constScanLine(y));
    for (int x = 0; x < WindowWidth; ++x) words.push_back(line[x] & 0xFFFFFFu);
  }
  return words;
}

// Everything an event that must not convert could disturb. The preview is checked on its own:
// a palette pick repaints it without converting.
struct Snapshot {
  std::vector<std::uint32_t> sourceWindow, image1, preview;
  LayerPlanes layerBits;
  int pictureWidth = 0, pictureHeight = 0, scale = 0;
  const PictureSource* picture = nullptr;

  static Snapshot Of(const ConverterState& s) {
    return {Words(s.SourceWindow.data(), PixelCount),
            Words(s.Image1.Words(), PixelCount),
            PreviewWords(s.PreviewBitmap),
            s.LayerBits,
            s.PictureWidth,
            s.PictureHeight,
            s.ScalePercent,
            s.Picture.get()};
  }
  bool SameConversion(const Snapshot& o) const {
    return sourceWindow == o.sourceWindow && image1 == o.image1 &&
           layerBits.Bitmap1Bits == o.layerBits.Bitmap1Bits &&
           layerBits.Sprite1Bits == o.layerBits.Sprite1Bits &&
           layerBits.Bitmap2Bits == o.layerBits.Bitmap2Bits &&
           layerBits.Sprite2Bits == o.layerBits.Sprite2Bits && pictureWidth == o.pictureWidth &&
           pictureHeight == o.pictureHeight && scale == o.scale && picture == o.picture;
  }
};

// What differs between two steps to undo, by name; empty when nothing does.
std::string Differences(const ::Snapshot& a, const ::Snapshot& b) {
  std::string names;
  const auto note = [&](bool same, const char* name) {
    if (!same) names += std::string(names.empty() ? "" : ", ") + name;
  };
  note(a.roles == b.roles, "roles");
  note(a.convertedRoles == b.convertedRoles, "converted roles");
  note(a.convertedDithering == b.convertedDithering, "converted dithering");
  note(a.red == b.red && a.green == b.green && a.blue == b.blue, "offsets");
  note(a.dithering == b.dithering, "dithering");
  note(a.crop == b.crop, "crop");
  note(a.scale == b.scale, "scale setting");
  note(a.percent == b.percent, "scale");
  note(a.edits == b.edits, "edits");
  note(a.cells == b.cells, "colours per cell");
  note(a.convertedCells == b.convertedCells, "converted colours per cell");
  return names;
}

class EventStorm : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    form = std::make_unique<TForm1>(dialogs);
    about = std::make_unique<TForm2>();
    form->Form2 = about.get();
    form->show();

    // Pictures to open: the sample, pictures of the window's size and a little larger, and
    // files that cannot be opened for every reason the decoder knows.
    // The sample is opened from a copy: saves aim at the open picture on purpose.
    const QString sample = folder.filePath("astronaut.jpg");
    EXPECT_TRUE(QFile::copy(QStringLiteral(VANTREL_TEST_DATA "/astronaut.jpg"), sample));
    good = {sample,
            Made("exact.jpg", 192, 200),
            Made("wide.jpg", 260, 203),
            Made("grey.jpg", 230, 240, true),
            Made("small.jpg", 120, 90),
            Png("photo.png", 300, 260)};
    damaged = {Written("text.jpg", "this is not a picture\n"), Written("empty.jpg", ""),
               Damaged("header.jpg"), folder.filePath("missing.jpg"),
               Cut("cut.png", Png("whole.png", 200, 220))};
    QDir().mkpath(folder.filePath("saves"));
  }

  QString Made(const char* name, int width, int height, bool grey = false) {
    const QString path = folder.filePath(name);
    testsupport::WriteJpeg(path.toStdString(), width, height, grey);
    return path;
  }
  QString Written(const char* name, const QByteArray& bytes) {
    const QString path = folder.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }
  QString Png(const char* name, int width, int height) {
    picture_writers::Pixels pixels(width, height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        pixels.At(x, y) = 0xFF000000u | static_cast<std::uint32_t>(x * 0x010203 + y * 0x030100);
      }
    }
    const auto bytes = picture_writers::EncodePng(pixels);
    return Written(name, QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                    static_cast<qsizetype>(bytes.size())));
  }
  // The first half of a file.
  QString Cut(const char* name, const QString& whole) {
    QFile file(whole);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    return Written(name, bytes.left(bytes.size() / 2));
  }
  // A JPEG whose frame header claims zero lines.
  QString Damaged(const char* name) {
    QFile source(QStringLiteral(VANTREL_TEST_DATA "/astronaut.jpg"));
    EXPECT_TRUE(source.open(QIODevice::ReadOnly));
    QByteArray bytes = source.readAll();
    const int frame = bytes.indexOf(QByteArray("\xFF\xC0", 2));
    EXPECT_GT(frame, 0);
    bytes[frame + 5] = 0;
    bytes[frame + 6] = 0;
    return Written(name, bytes);
  }

  // --- The events ---------------------------------------------------------------------

  // Mouse events delivered as the window system would deliver them.
  static void Mouse(QWidget* widget, QEvent::Type type, QPointF at, Qt::MouseButton button,
                    Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
  }

  static QByteArray Contents(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
  bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; }

  std::array<TPanel*, 5> RolePanels() const {
    return {form->Panel1, form->Panel2, form->Panel3, form->Panel4, form->Panel5};
  }
  std::array<QRadioButton*, 5> RoleButtons() const {
    return {form->RadioButton1, form->RadioButton2, form->RadioButton3, form->RadioButton4,
            form->RadioButton5};
  }
  int SelectedRole() const {
    for (int role = 0; role < RoleCount; ++role) {
      if (RoleButtons()[role]->isChecked()) return role;
    }
    return -1;
  }

  // What the model expects of one event.
  struct Expectation {
    bool converts = false;               // the preview must follow the state afterwards
    bool keepsConversion = false;        // the conversion must be exactly as before
    std::vector<QString> errorStart;     // an error box must show, starting so
    std::optional<ColourRoleSet> roles;  // the roles afterwards, if not those before
    QString savedFile;                   // a file that must now hold the last conversion
    OutputKind savedKind = OutputKind::Data;
    QString keptFile;  // a file that must still hold keptBytes
    QByteArray keptBytes;
    // The conversion on show is whichever the window says (undo, redo, a project): it must
    // still be a fresh conversion of the crop with the roles and dithering it names.
    bool fromWindow = false;
  };

  Expectation Palette(std::string& what) {
    Expectation e;
    e.keepsConversion = true;
    e.roles = form->State().ColourRoles;
    const int index = Pick(16);
    TPanel* swatch = form->PalettePanels[index];
    const QPointF inside(swatch->width() / 2.0, swatch->height() / 2.0);
    switch (Pick(4)) {
      case 0:
      case 1: {  // a left click picks the colour for the selected role
        what = "left click on palette swatch " + std::to_string(index);
        Mouse(swatch, QEvent::MouseButtonPress, inside, Qt::LeftButton, Qt::LeftButton);
        Mouse(swatch, QEvent::MouseButtonRelease, inside, Qt::LeftButton, Qt::NoButton);
        if (SelectedRole() >= 0) (*e.roles)[SelectedRole()] = index;
        break;
      }
      case 2: {  // other buttons pick nothing
        const Qt::MouseButton button = Chance(0.5) ? Qt::RightButton : Qt::MiddleButton;
        what = std::string(button == Qt::RightButton ? "right" : "middle") +
               " click on palette swatch " + std::to_string(index);
        Mouse(swatch, QEvent::MouseButtonPress, inside, button, button);
        Mouse(swatch, QEvent::MouseButtonRelease, inside, button, Qt::NoButton);
        break;
      }
      default: {  // pressed, then dragged off before the release: no pick
        what = "press on palette swatch " + std::to_string(index) + " dragged off it";
        const QPointF outside(swatch->width() + 30.0, swatch->height() / 2.0);
        Mouse(swatch, QEvent::MouseButtonPress, inside, Qt::LeftButton, Qt::LeftButton);
        Mouse(swatch, QEvent::MouseMove, outside, Qt::NoButton, Qt::LeftButton);
        Mouse(swatch, QEvent::MouseButtonRelease, outside, Qt::LeftButton, Qt::NoButton);
        break;
      }
    }
    return e;
  }

  Expectation Slider(std::string& what) {
    Expectation e;
    const int channel = Pick(3);
    TTrackBar* bar = std::array{form->TrackBar1, form->TrackBar2, form->TrackBar3}[channel];
    if (!bar->isEnabled()) {
      what = "nothing (slider disabled)";
      e.keepsConversion = true;
      return e;
    }
    const int before = bar->Position();
    if (Chance(0.5)) {
      const int target = std::uniform_int_distribution<int>(-300, 300)(rng);
      what = "slider " + std::to_string(channel + 1) + " dragged to " + std::to_string(target);
      bar->setSliderPosition(target);
    } else {
      const int key = std::array{Qt::Key_Left, Qt::Key_Right, Qt::Key_PageUp, Qt::Key_Home,
                                 Qt::Key_End}[Pick(5)];
      what = "key " + std::to_string(key) + " on slider " + std::to_string(channel + 1);
      QTest::keyClick(bar, static_cast<Qt::Key>(key));
    }
    e.converts = bar->Position() != before && form->State().PictureLoaded;
    e.keepsConversion = !e.converts;
    return e;
  }

  Expectation Edit(std::string& what) {
    Expectation e;
    const int channel = Pick(3);
    TEdit* edit = std::array{form->Edit1, form->Edit2, form->Edit3}[channel];
    static const std::vector<std::string> texts = {
        "0",   "40",  "-40", "255",  "-255", "300", "-300",  "007",        "abc",         "",   "-",
        " 40", "40 ", "$10", "0x1F", "x7f",  "+12", "99999", "2147483648", "-2147483648", "1e3"};
    // Every change of the text on the way runs a chain, also when the end text is the old one.
    int changes = 0;
    const QMetaObject::Connection counter =
        QObject::connect(edit, &QLineEdit::textChanged, [&] { ++changes; });
    std::string text = texts[Pick(static_cast<int>(texts.size()))];
    if (Chance(0.3)) text = std::to_string(std::uniform_int_distribution<int>(-999, 999)(rng));
    if (Chance(0.5)) {
      // Typed key by key after selecting everything: each key is a change of its own.
      what = "typed '" + text + "' into edit " + std::to_string(channel + 1);
      edit->setFocus();
      edit->selectAll();
      if (text.empty()) {
        QTest::keyClick(edit, Qt::Key_Backspace);
      } else {
        QTest::keyClicks(edit, QString::fromStdString(text));
      }
    } else {
      what = "pasted '" + text + "' into edit " + std::to_string(channel + 1);
      edit->setText(QString::fromStdString(text));
    }
    QObject::disconnect(counter);
    e.converts = changes > 0 && form->State().PictureLoaded;
    e.keepsConversion = !e.converts;
    return e;
  }

  Expectation Scroll(std::string& what) {
    Expectation e;
    TScrollBar* bar = Chance(0.5) ? form->ScrollBar1 : form->ScrollBar2;
    const std::string name = bar == form->ScrollBar1 ? "horizontal" : "vertical";
    if (!bar->isEnabled()) {
      what = "nothing (scroll bar disabled)";
      e.keepsConversion = true;
      return e;
    }
    const int before = bar->Position();
    if (Chance(0.5)) {
      const int target = std::uniform_int_distribution<int>(bar->minimum(), bar->maximum())(rng);
      what = name + " scroll bar dragged to " + std::to_string(target);
      bar->setSliderPosition(target);
    } else {
      const auto action =
          std::array{QAbstractSlider::SliderSingleStepAdd, QAbstractSlider::SliderSingleStepSub,
                     QAbstractSlider::SliderPageStepAdd, QAbstractSlider::SliderToMinimum,
                     QAbstractSlider::SliderToMaximum}[Pick(5)];
      what = name + " scroll bar action " + std::to_string(action);
      bar->triggerAction(action);
    }
    e.converts = bar->Position() != before;
    e.keepsConversion = !e.converts;
    return e;
  }

  // A file opened through the dialog or dropped on the window: the same either way. A drop is
  // taken as a copy or a link, never as a move; a drag that only offers moving is refused.
  // Returns false when nothing was opened.
  bool OpenOrDrop(const QString& file, std::string& what, bool& viaDialog) {
    viaDialog = Chance(0.7);
    if (viaDialog) {
      what = "open " + file.toStdString();
      dialogs.AnswerOpen(file);
      form->OpenBitmap1->trigger();
      return true;
    }
    const Qt::DropActions possible =
        std::array<Qt::DropActions, 4>{Qt::CopyAction, Qt::CopyAction | Qt::MoveAction,
                                       Qt::MoveAction | Qt::LinkAction, Qt::MoveAction}[Pick(4)];
    what = "drop (actions " + std::to_string(possible.toInt()) + ") " + file.toStdString();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file)});
    const QPointF at(300, 200);
    QDragEnterEvent enter(at.toPoint(), possible, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(form.get(), &enter);
    QDropEvent drop(at, possible, &data, Qt::LeftButton, Qt::NoModifier);
    drop.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(form.get(), &drop);
    const bool taken = possible != Qt::MoveAction;
    EXPECT_EQ(drop.isAccepted(), taken) << what;
    if (taken) {
      EXPECT_NE(drop.dropAction(), Qt::MoveAction) << what;
    }
    return taken;
  }

  Expectation Open(std::string& what) {
    Expectation e;
    const bool loaded = form->State().PictureLoaded;
    const int kind = Pick(10);
    if (kind < 8) {
      const bool good_ = kind < 5;
      const std::vector<QString>& files = good_ ? good : damaged;
      const QString file = files[Pick(static_cast<int>(files.size()))];
      std::string question;
      const Question q = Prepare(question);
      bool viaDialog = false;
      const bool chosen = OpenOrDrop(file, what, viaDialog);
      what += question;
      Settle(q, chosen);
      if (!chosen || (q.Cancels() && !viaDialog)) {
        e.keepsConversion = true;
      } else if (q.Cancels()) {
        // As a cancelled dialog: the offsets and the conversion once more on the same crop.
        e.converts = loaded;
        e.keepsConversion = !loaded;
      } else if (good_) {
        e.converts = true;
        openedFile = file;
      } else {
        e.keepsConversion = true;
        e.errorStart = {QStringLiteral("JPEG error #"), QStringLiteral("Cannot open file"),
                        QStringLiteral("Cannot open PNG file")};
      }
    } else {
      what = "open cancelled";
      dialogs.CancelOpen();
      form->OpenBitmap1->trigger();
      e.converts = loaded;
      e.keepsConversion = !loaded;
    }
    return e;
  }

  Expectation Scale(std::string& what) {
    Expectation e;
    const int before = form->State().ScalePercent;
    if (Chance(0.25)) {
      what = "Fit";
      QTest::mouseClick(form->BitBtn2, Qt::LeftButton);
    } else if (!form->TrackBar4->isEnabled()) {
      what = "nothing (scale disabled)";
    } else if (Chance(0.5)) {
      const int target = std::uniform_int_distribution<int>(form->TrackBar4->minimum() - 5,
                                                            form->TrackBar4->maximum() + 5)(rng);
      what = "scale dragged to " + std::to_string(target);
      form->TrackBar4->setSliderPosition(target);
    } else {
      const int key = std::array{Qt::Key_Left, Qt::Key_Right, Qt::Key_PageDown, Qt::Key_Home,
                                 Qt::Key_End}[Pick(5)];
      what = "key " + std::to_string(key) + " on the scale";
      QTest::keyClick(form->TrackBar4, static_cast<Qt::Key>(key));
    }
    e.converts = form->State().ScalePercent != before;
    e.keepsConversion = !e.converts;
    return e;
  }

  Expectation Save(std::string& what) {
    Expectation e;
    e.keepsConversion = true;
    const int output = Pick(3);
    const OutputKind outputKind =
        std::array{OutputKind::Executable, OutputKind::Data, OutputKind::DiskImage}[output];
    QAction* action =
        std::array{form->SaveC64Executable1, form->SaveC64Data1, form->SaveC64DiskImage1}[output];
    const int kind = Pick(6);
    const bool loaded = form->State().PictureLoaded;
    QStringList earlier = savedNames.values();  // pictures saved before; projects stay projects
    earlier.removeIf([](const QString& name) { return name.endsWith(".vantrel"); });
    if (kind == 4 && !earlier.isEmpty()) {
      // Over an earlier save: replaced after a yes, kept after a no.
      const QString name =
          folder.filePath("saves/" + earlier[Pick(static_cast<int>(earlier.size()))]);
      const bool yes = Chance(0.5);
      what = std::string("save over ") + name.toStdString() + (yes ? ", replaced" : ", kept");
      dialogs.AnswerSave(name);
      dialogs.replaceAnswers = {yes};
      if (loaded && yes) {
        e.savedFile = name;
        e.savedKind = outputKind;
      } else {
        e.keptFile = name;
        e.keptBytes = Contents(name);
      }
    } else if (kind == 5 && !openedFile.isEmpty()) {
      // Over the open picture: refused, whatever the answers.
      what = "save over the open picture " + openedFile.toStdString();
      dialogs.AnswerSave(openedFile);
      dialogs.replaceAnswers = {true};
      e.keptFile = openedFile;
      e.keptBytes = Contents(openedFile);
      if (loaded) e.errorStart = {openedFile + " is the picture that is open"};
    } else if (kind < 2 || kind >= 4) {
      const QString name = folder.filePath(QStringLiteral("saves/picture%1.%2")
                                               .arg(++saves)
                                               .arg(std::array{"prg", "bin", "d64"}[output]));
      what = "save to " + name.toStdString();
      dialogs.AnswerSave(name);
      if (loaded) {
        e.savedFile = name;
        e.savedKind = outputKind;
      }
    } else if (kind == 2) {
      const QString name = Chance(0.5) && QFile::exists(QStringLiteral("/dev/full"))
                               ? QStringLiteral("/dev/full")
                               : folder.filePath(QStringLiteral("no/such/folder/x.prg"));
      what = "save to failing " + name.toStdString();
      dialogs.AnswerSave(name);
      dialogs.replaceAnswers = {true};  // /dev/full exists
      if (loaded) e.errorStart = {QStringLiteral("Cannot create file")};
    } else {
      what = "save cancelled";
      dialogs.saveAnswers.emplace_back(false, QString());
    }
    const int dialogsBefore = dialogs.saveDialogs;
    action->trigger();
    // Without a picture no dialog comes up, so the scripted answer is left over; the disk
    // image says why.
    if (dialogs.saveDialogs == dialogsBefore) dialogs.saveAnswers.clear();
    if (!loaded && outputKind == OutputKind::DiskImage) {
      e.errorStart = {QStringLiteral("Open a picture first")};
    }
    dialogs.replaceAnswers.clear();
    return e;
  }

  // Undo or redo, by menu or key, from the main window or the zoom window.
  Expectation History(std::string& what) {
    Expectation e;
    e.fromWindow = true;
    e.roles = form->State().ColourRoles;  // set below, to whatever the step restores
    const bool undo = Chance(0.6);
    const bool canStep = undo ? form->UndoHistory().CanUndo() : form->UndoHistory().CanRedo();
    what = std::string(undo ? "undo" : "redo") + (canStep ? "" : " (nothing to do)");
    if (Chance(0.5)) {
      (undo ? form->Undo1 : form->Redo1)->trigger();
    } else {
      QWidget* target = form.get();
      if (Chance(0.2) && form->ZoomForm->isVisible()) target = form->ZoomForm;
      what += " by key";
      QTest::keyClick(target, Qt::Key_Z,
                      undo ? Qt::ControlModifier : Qt::ControlModifier | Qt::ShiftModifier);
    }
    e.keepsConversion = !canStep;
    e.roles = form->State().ColourRoles;
    return e;
  }

  // The zoom window: shown or hidden, a stroke of paint, a pick, "Clear Edits".
  Expectation TouchUp(std::string& what) {
    Expectation e;
    ZoomView* view = form->ZoomForm->View();
    const int roll = Pick(10);
    if (roll < 2) {
      what = "zoom window";
      form->Zoom1->trigger();
      e.keepsConversion = true;
    } else if (roll < 7) {
      // A stroke: the button goes down on one pixel and is dragged over a few more.
      const int zoom = view->Zoom();
      const auto at = [&](int x, int y) { return QPointF((x + 0.5) * zoom, (y + 0.5) * zoom); };
      int x = Pick(WindowWidth), y = Pick(WindowHeight);
      const int code = 1 + Pick(9);
      form->ZoomForm->SetChosenCode(code);
      what =
          "paint " + std::to_string(code) + " from " + std::to_string(x) + "," + std::to_string(y);
      Mouse(view, QEvent::MouseButtonPress, at(x, y), Qt::LeftButton, Qt::LeftButton);
      for (int step = Pick(6); step > 0; --step) {
        x = std::clamp(x + Pick(7) - 3, 0, WindowWidth - 1);
        y = std::clamp(y + Pick(7) - 3, 0, WindowHeight - 1);
        Mouse(view, QEvent::MouseMove, at(x, y), Qt::NoButton, Qt::LeftButton);
      }
      Mouse(view, QEvent::MouseButtonRelease, at(x, y), Qt::LeftButton, Qt::NoButton);
    } else if (roll < 9) {
      const int x = Pick(WindowWidth), y = Pick(WindowHeight);
      what = "pick at " + std::to_string(x) + "," + std::to_string(y);
      const int zoom = view->Zoom();
      const QPointF point((x + 0.5) * zoom, (y + 0.5) * zoom);
      Mouse(view, QEvent::MouseButtonPress, point, Qt::RightButton, Qt::RightButton);
      Mouse(view, QEvent::MouseButtonRelease, point, Qt::RightButton, Qt::NoButton);
      e.keepsConversion = true;
      if (form->State().PictureLoaded) {
        EXPECT_EQ(form->ZoomForm->ChosenCode(),
                  MixCodeShown(form->State().LayerBits, y * WindowWidth + x))
            << what;
      }
    } else {
      what = "Clear Edits";
      form->ClearEdits1->trigger();
    }
    return e;
  }

  // Save Project to a new file, or Open Project of one saved before.
  Expectation Project(std::string& what) {
    Expectation e;
    if (projects.empty() || Chance(0.5)) {
      const QString name = folder.filePath(QStringLiteral("saves/project%1.vantrel").arg(++saves));
      what = "save project " + name.toStdString();
      dialogs.AnswerSave(name);
      const int dialogsBefore = dialogs.saveDialogs;
      e.keepsConversion = true;
      form->SaveProject1->trigger();
      if (dialogs.saveDialogs == dialogsBefore) {
        dialogs.saveAnswers.clear();
        e.errorStart = {QStringLiteral("Open a picture first")};
      } else {
        NoteProject(name, true);
      }
      return e;
    }
    const QString name = projects[Pick(static_cast<int>(projects.size()))];
    what = "open project " + name.toStdString();
    const Question question = Prepare(what);
    dialogs.AnswerOpen(name);
    form->OpenProject1->trigger();
    Settle(question, true);
    if (question.Cancels()) {
      e.keepsConversion = true;
    } else {
      e.fromWindow = true;
      e.roles = form->State().ColourRoles;
      openedFile = projectPhotos[name];
      target = projectTargets[name];  // a project brings its target
    }
    return e;
  }

  // "Save the project first?": whether it will be asked, and the answer ready for it (with a
  // name for a new project when the answer saves and no project is open).
  struct Question {
    bool asks = false;
    SaveFirst answer = SaveFirst::Discard;
    QString project;  // where a save writes: the project open, or a new one
    bool Cancels() const { return asks && answer == SaveFirst::Cancel; }
  };
  Question Prepare(std::string& what) {
    Question q;
    q.asks = form->HasUnsavedWork();
    q.answer = std::array{SaveFirst::Save, SaveFirst::Discard, SaveFirst::Cancel}[Pick(3)];
    dialogs.saveFirstAnswers = {q.answer};
    questionsBefore = dialogs.saveFirstQuestions;
    if (q.asks) {
      what += std::array{" (saved first)", " (paint discarded)",
                         " (cancelled)"}[static_cast<int>(q.answer)];
      q.project = form->ProjectFile();
      if (q.answer == SaveFirst::Save && q.project.isEmpty()) {
        q.project = folder.filePath(QStringLiteral("saves/project%1.vantrel").arg(++saves));
        dialogs.AnswerSave(q.project);
      }
    }
    return q;
  }
  // After the event: asked exactly when there was work to lose and a file was chosen; what
  // the answer saved is where it belongs.
  void Settle(const Question& q, bool chosen) {
    EXPECT_EQ(dialogs.saveFirstQuestions - questionsBefore, q.asks && chosen ? 1 : 0);
    if (q.asks && chosen && q.answer == SaveFirst::Save) NoteProject(q.project, false);
    dialogs.saveFirstAnswers.clear();
    dialogs.saveAnswers.clear();
  }
  // A project the window wrote, of the picture it showed then; `check`: it still shows it.
  void NoteProject(const QString& name, bool check) {
    if (!std::count(projects.begin(), projects.end(), name)) projects.push_back(name);
    projectPhotos[name] = openedFile;
    projectTargets[name] = target;
    savedNames.insert(QFileInfo(name).fileName());
    if (!check) return;
    // Opened on its own, the project gives the window's picture.
    Session fresh;
    fresh.OpenProject(name.toStdString());
    EXPECT_TRUE(fresh.Layers().Bitmap1Bits == form->State().LayerBits.Bitmap1Bits &&
                fresh.Layers().Sprite1Bits == form->State().LayerBits.Sprite1Bits &&
                fresh.Layers().Bitmap2Bits == form->State().LayerBits.Bitmap2Bits &&
                fresh.Layers().Sprite2Bits == form->State().LayerBits.Sprite2Bits)
        << name.toStdString() << " does not hold the window's picture";
    EXPECT_EQ(fresh.Roles(), form->State().ColourRoles) << name.toStdString();
  }

  // Plays one random event and says what it expects.
  Expectation PlayOne(std::string& what) {
    const int roll = Pick(1000);
    Expectation e;
    if (roll < 200) return Palette(what);
    if (roll < 260) {
      const int role = Pick(5);
      what = "select role " + std::to_string(role + 1);
      QTest::mouseClick(RoleButtons()[role], Qt::LeftButton);
      e.keepsConversion = true;
      return e;
    }
    if (roll < 320) {
      QRadioButton* button =
          std::array{form->RadioButton6, form->RadioButton7, form->RadioButton8}[Pick(3)];
      what = "select dithering " + button->text().toStdString();
      QTest::mouseClick(button, Qt::LeftButton);
      e.keepsConversion = true;
      return e;
    }
    if (roll < 430) return Slider(what);
    if (roll < 560) return Edit(what);
    if (roll < 680) return Scroll(what);
    if (roll < 730) {
      what = "CONVERT";
      e.converts = form->Button1->isEnabled();
      e.keepsConversion = !e.converts;
      QTest::mouseClick(form->Button1, Qt::LeftButton);
      return e;
    }
    if (roll < 770) {
      what = "Default";
      const bool loaded = form->State().PictureLoaded;
      QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
      e.converts = loaded;
      e.keepsConversion = !loaded;
      if (loaded) e.roles = DefaultColourRoles;
      return e;
    }
    if (roll < 771) {
      QAction* goal = std::array{form->Faithful1, form->Balanced1, form->Calm1}[Pick(3)];
      form->ColorsPerCell1->setChecked(Chance(0.5));
      what = "Auto Colors " + goal->text().toStdString() +
             (form->ColorsPerCell1->isChecked() ? " per cell" : "");
      e.converts = form->State().PictureLoaded;
      e.keepsConversion = !e.converts;
      goal->trigger();
      e.roles = form->State().ColourRoles;  // whatever the search chose, within the palette
      return e;
    }
    if (roll < 840) return Open(what);
    if (roll < 880) return Scale(what);
    if (roll < 930) return Save(what);
    if (roll < 950) return History(what);
    if (roll < 975) return TouchUp(what);
    if (roll < 980) return Project(what);
    if (roll < 990) {
      const int m = Pick(5);
      QAction* item =
          std::array{form->PAL1, form->NTSC1, form->OldNTSC1, form->Drean1, form->AnyC641}[m];
      what = "target " + item->text().toStdString();
      item->trigger();
      target = AllMachines[m];
      e.keepsConversion = true;
      return e;
    }
    what = "About";
    form->About1->trigger();
    e.keepsConversion = true;
    return e;
  }

  // --- The checks ---------------------------------------------------------------------

  // The picture of a file, opened once.
  std::shared_ptr<PictureSource> Opened(const QString& file) {
    auto& picture = opened[file.toStdString()];
    if (!picture) picture = std::make_shared<Photo>(Photo::OpenFile(file.toStdString()));
    return picture;
  }

  void CheckControls(const std::string& context) {
    const ConverterState& s = form->State();
    const auto panels = RolePanels();
    std::array<TColor, RoleCount> roleColours{};
    for (int role = 0; role < RoleCount; ++role) {
      ASSERT_GE(s.ColourRoles[role], 0) << context;
      ASSERT_LE(s.ColourRoles[role], 15) << context;
      ASSERT_EQ(panels[role]->Color(), C64Palette[s.ColourRoles[role]]) << context;
      roleColours[role] = panels[role]->Color();
    }
    for (int code = 1; code <= 9; ++code) {
      ASSERT_EQ(s.MixTable[code - 1], MixSlotColour(code, roleColours)) << context;
      ASSERT_EQ(form->MixPanels[code - 1]->Color(), s.MixTable[code - 1]) << context;
    }
    for (int index = 0; index < 16; ++index) {
      ASSERT_EQ(form->PalettePanels[index]->Color(), C64Palette[index]) << context;
    }
    int rolesChecked = 0;
    for (QRadioButton* button : RoleButtons()) rolesChecked += button->isChecked();
    ASSERT_EQ(rolesChecked, 1) << context;
    ASSERT_EQ(form->RadioButton6->isChecked() + form->RadioButton7->isChecked() +
                  form->RadioButton8->isChecked(),
              1)
        << context;
    for (int channel = 0; channel < 3; ++channel) {
      TTrackBar* bar = std::array{form->TrackBar1, form->TrackBar2, form->TrackBar3}[channel];
      TEdit* edit = std::array{form->Edit1, form->Edit2, form->Edit3}[channel];
      const int typed = std::clamp(StrToIntDef(edit->Text().toStdString(), 100), -255, 255);
      ASSERT_EQ(bar->Position(), typed)
          << context << ": edit " << channel + 1 << " reads '" << edit->Text().toStdString() << "'";
    }
    for (QWidget* control :
         std::initializer_list<QWidget*>{form->Button1, form->TrackBar1, form->TrackBar2,
                                         form->TrackBar3, form->ScrollBar1, form->ScrollBar2}) {
      ASSERT_EQ(control->isEnabled(), s.PictureLoaded) << context;
    }
    ASSERT_EQ(form->ProgressBar1->value(), 0) << context;
    if (!openedFile.isEmpty()) {
      ASSERT_EQ(form->ScrollBar1->minimum(), WindowWidth - s.PictureWidth) << context;
      ASSERT_EQ(form->ScrollBar2->minimum(), WindowHeight - s.PictureHeight) << context;
      ASSERT_EQ(form->ScrollBar1->maximum(), 0) << context;
      ASSERT_EQ(form->ScrollBar2->maximum(), 0) << context;
    }
  }

  // The preview must be what a fresh conversion of the converted crop gives, with the roles
  // and dithering of the moment it was converted; the views must show the state.
  void CheckConversion(const std::string& context) {
    const ConverterState& s = form->State();
    if (!s.PictureLoaded || !converted) return;
    auto fresh = testsupport::NewConverterState();
    fresh->PictureLoaded = true;
    fresh->Image1 = s.Image1;
    fresh->PixelEdits = s.PixelEdits;
    SetColourRoles(*fresh, convertedRoles);
    if (convertedCells) SetCellColours(*fresh, convertedRoles, *convertedCells);
    ConvertPicture(*fresh, convertedDithering, nullptr, PortableKernels());
    ASSERT_TRUE(fresh->LayerBits.Bitmap1Bits == s.LayerBits.Bitmap1Bits &&
                fresh->LayerBits.Sprite1Bits == s.LayerBits.Sprite1Bits &&
                fresh->LayerBits.Bitmap2Bits == s.LayerBits.Bitmap2Bits &&
                fresh->LayerBits.Sprite2Bits == s.LayerBits.Sprite2Bits)
        << context << ": layer bits differ from a fresh conversion";
    if (convertedRoles == s.ColourRoles && convertedCells == s.CellTable) {
      ASSERT_EQ(PreviewWords(fresh->PreviewBitmap), PreviewWords(s.PreviewBitmap))
          << context << ": preview differs from a fresh conversion";
    }
    // Picks since the conversion show in the preview at once, as a save would write them.
    SetColourRoles(*fresh, s.ColourRoles);
    if (s.CellTable) {
      SetCellColours(*fresh, s.ColourRoles, *s.CellTable);
    } else {
      ClearCellColours(*fresh);
    }
    PaintPreviewFromLayers(*fresh);
    ASSERT_EQ(PreviewWords(fresh->PreviewBitmap), PreviewWords(s.PreviewBitmap))
        << context << ": preview is not the conversion in the current colours";
    ASSERT_EQ(ViewWords(*form->Image2), PreviewWords(s.PreviewBitmap))
        << context << ": the preview view does not show the preview";
    ASSERT_EQ(ViewWords(*form->Image1), Words(s.Image1.Words(), PixelCount))
        << context << ": the source view does not show the adjusted crop";
  }

  // After a conversion the crop is the picture at the scroll positions and the adjusted crop
  // is the crop plus the offsets.
  void CheckCrop(const std::string& context) {
    const ConverterState& s = form->State();
    const int left = -form->ScrollBar1->Position(), top = -form->ScrollBar2->Position();
    if (!openedFile.isEmpty()) {
      // The window of the file opened on its own at the window's scale and crop.
      auto fresh = testsupport::NewConverterState();
      const std::shared_ptr<PictureSource> picture = Opened(openedFile);
      const PercentRange range = AllowedPercents(picture->Width(), picture->Height());
      ASSERT_TRUE(range.Contains(s.ScalePercent)) << context;
      ASSERT_EQ(form->TrackBar4->value(), s.ScalePercent) << context;
      ASSERT_EQ(form->TrackBar4->minimum(), range.min) << context;
      ASSERT_EQ(form->TrackBar4->maximum(), range.max) << context;
      SetPicture(*fresh, picture, s.ScalePercent);
      ASSERT_EQ(s.PictureWidth, fresh->PictureWidth) << context;
      ASSERT_EQ(s.PictureHeight, fresh->PictureHeight) << context;
      ReadSourceWindow(*fresh, -left, -top);
      ASSERT_EQ(s.SourceWindow, fresh->SourceWindow) << context << ": the crop differs";
    }
    const int offsets[] = {form->TrackBar1->Position(), form->TrackBar2->Position(),
                           form->TrackBar3->Position()};
    for (int i = 0; i < PixelCount; ++i) {
      const PackedRGB w = s.SourceWindow[i];
      const auto adjusted = [&](int shift, int offset) {
        return static_cast<std::uint32_t>(std::clamp(int((w >> shift) & 0xFF) + offset, 0, 255))
               << shift;
      };
      ASSERT_EQ(s.Image1.Words()[i],
                adjusted(16, offsets[0]) | adjusted(8, offsets[1]) | adjusted(0, offsets[2]))
          << context << ": adjusted pixel " << i;
    }
  }

  void CheckSaved(const Expectation& e, const std::string& context) {
    QFile file(e.savedFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << context;
    const QByteArray bytes = file.readAll();
    // The bytes the library assembles from the window's last conversion and roles, for the
    // target checked and the picture opened last.
    Session fresh;
    fresh.TakeConversion(form->State().LayerBits, form->State().ColourRoles,
                         form->State().CellTable);
    const std::string name =
        openedFile.isEmpty() ? "PICTURE" : C64FileName(openedFile.toStdString());
    const auto expected = fresh.Output(e.savedKind, {target, name});
    ASSERT_EQ(static_cast<std::size_t>(bytes.size()), expected.size()) << context;
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(),
                           reinterpret_cast<const std::uint8_t*>(bytes.constData())))
        << context << ": the file is not the last conversion";
  }

  FakeDialogs dialogs;
  std::unique_ptr<TForm1> form;
  std::unique_ptr<TForm2> about;
  QTemporaryDir folder;
  std::vector<QString> good, damaged;
  std::mt19937 rng;
  QString openedFile;      // the last picture opened successfully
  bool converted = false;  // a conversion has run since the start
  ColourRoleSet convertedRoles = DefaultColourRoles;
  std::optional<CellColours> convertedCells;
  Dithering convertedDithering = Dithering::FloydSteinberg;
  Machine target = Machine::Pal;
  int saves = 0;
  QSet<QString> savedNames;
  std::map<std::string, std::shared_ptr<PictureSource>> opened;
  std::vector<QString> projects;              // project files the window wrote
  std::map<QString, QString> projectPhotos;   // the photo each of them holds
  std::map<QString, Machine> projectTargets;  // and the target
  int questionsBefore = 0;
};

TEST_F(EventStorm, RandomUserEventsKeepTheWindowConsistent) {
  const int seconds = EnvironmentNumber("VANTREL_STORM_SECONDS", 10);
  const int seed = EnvironmentNumber("VANTREL_STORM_SEED", 1);
  rng.seed(static_cast<unsigned>(seed));
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::map<std::string, int> played;
  int events = 0;
  while (std::chrono::steady_clock::now() < end) {
    const Snapshot before = Snapshot::Of(form->State());
    const std::size_t errorsBefore = dialogs.errors.size();
    const ColourRoleSet rolesBefore = form->State().ColourRoles;
    std::string what;
    const Expectation e = PlayOne(what);
    ++events;
    ++played[what.substr(0, what.find_first_of(" 0123456789'"))];
    std::ostringstream context;
    context << "seed " << seed << ", event " << events << " (" << what << ")";
    const std::string where = context.str();
    if (std::getenv("VANTREL_STORM_TRACE")) std::printf("%s\n", where.c_str());

    // Errors: exactly the one the event asks for, with its text.
    const auto newErrors = dialogs.errors.size() - errorsBefore;
    if (e.errorStart.empty()) {
      ASSERT_EQ(newErrors, 0u) << where << ": unexpected error "
                               << dialogs.errors.back().second.toStdString();
    } else {
      ASSERT_EQ(newErrors, 1u) << where;
      const QString& message = dialogs.errors.back().second;
      ASSERT_TRUE(std::any_of(e.errorStart.begin(), e.errorStart.end(),
                              [&](const QString& s) { return message.startsWith(s); }))
          << where << ": " << message.toStdString();
      ASSERT_TRUE(message.endsWith('.')) << where;
    }
    ASSERT_EQ(form->State().ColourRoles, e.roles.value_or(rolesBefore)) << where;

    if (e.keepsConversion) {
      ASSERT_TRUE(before.SameConversion(Snapshot::Of(form->State())))
          << where << ": the event changed the picture or its conversion";
    }
    if (e.converts) {
      converted = true;
      convertedRoles = form->State().ColourRoles;
      convertedCells = form->State().CellTable;
      convertedDithering = form->RadioButton7->isChecked()   ? Dithering::FloydSteinberg
                           : form->RadioButton8->isChecked() ? Dithering::LowFlicker
                                                             : Dithering::None;
      ASSERT_NO_FATAL_FAILURE(CheckCrop(where));
    }
    // A step undone or redone, or a project opened, may have converted again; if it did, the
    // crop must be the picture's there.
    const bool convertedNow = !before.SameConversion(Snapshot::Of(form->State()));
    if (e.fromWindow && form->State().PictureLoaded && (converted || convertedNow)) {
      const ::Snapshot now = form->TakeSnapshot();
      converted = true;
      convertedRoles = now.convertedRoles;
      convertedCells = now.convertedCells;
      convertedDithering = now.convertedDithering;
      if (convertedNow) {
        ASSERT_NO_FATAL_FAILURE(CheckCrop(where));
      }
    }
    // Every step to undo is the state as the controls show it: after undo and redo too.
    ASSERT_EQ(Differences(form->TakeSnapshot(), form->UndoHistory().Current()), "")
        << where << ": the controls and the state differ from the step undo would return to";
    ASSERT_NO_FATAL_FAILURE(CheckControls(where));
    ASSERT_NO_FATAL_FAILURE(CheckConversion(where));
    if (!e.keptFile.isEmpty()) {
      ASSERT_EQ(Contents(e.keptFile), e.keptBytes) << where << ": a file was replaced";
    }
    // Saves leave exactly the files they wrote: no temporary or half-written file.
    if (!e.savedFile.isEmpty()) {
      ASSERT_NO_FATAL_FAILURE(CheckSaved(e, where));
      savedNames.insert(QFileInfo(e.savedFile).fileName());
    }
    const QStringList entries =
        QDir(folder.filePath("saves")).entryList(QDir::Files | QDir::Hidden | QDir::System);
    ASSERT_EQ(QSet<QString>(entries.begin(), entries.end()), savedNames) << where;
  }
  std::ostringstream summary;
  for (const auto& [kind, count] : played) summary << " " << kind << "=" << count;
  std::printf("event storm: seed %d, %d events in %d s:%s\n", seed, events, seconds,
              summary.str().c_str());
  EXPECT_GT(events, 100);
}

}  // namespace
