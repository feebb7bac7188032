// The page's way into the library, bound to JavaScript with embind: one WebSession per Web
// Worker (web/worker.js), driven by messages from the page. Every rule of the conversion is
// the session's; this file only reads what the page sends and hands back bytes and pixels.
#include <emscripten/bind.h>
#include <emscripten/emscripten.h>
#include <emscripten/val.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/error.h"
#include "session/session.h"

namespace vantrel::web {
namespace {

using emscripten::val;

// Bytes the worker copied into the module's memory at `address`.
std::span<const std::uint8_t> BytesAt(std::uintptr_t address, std::size_t size) {
  return {reinterpret_cast<const std::uint8_t*>(address), size};
}

// A copy of `bytes` as a Uint8Array of its own, safe after the module's memory grows.
val Copy(std::span<const std::uint8_t> bytes) {
  return val::global("Uint8Array").new_(emscripten::typed_memory_view(bytes.size(), bytes.data()));
}

val Failure(const std::string& message) {
  val result = val::object();
  result.set("error", message);
  return result;
}

// A failure as the command line words it: a setting's message as it is, the picture's naming
// the file.
val FailureOf(const std::exception_ptr& failure, const std::string& file) {
  try {
    std::rethrow_exception(failure);
  } catch (const VantrelError& error) {
    return Failure(error.IsSetting() ? std::string(error.what()) : error.AboutFile(file));
  } catch (...) {
    return Failure(UserMessage(std::current_exception()));
  }
}

// `words` (PackedRGB) as opaque RGBA bytes for a canvas.
val RgbaOf(const std::uint32_t* words, std::size_t count) {
  std::vector<std::uint8_t> rgba(count * 4);
  for (std::size_t i = 0; i < count; ++i) {
    rgba[i * 4] = static_cast<std::uint8_t>(words[i] >> 16);
    rgba[i * 4 + 1] = static_cast<std::uint8_t>(words[i] >> 8);
    rgba[i * 4 + 2] = static_cast<std::uint8_t>(words[i]);
    rgba[i * 4 + 3] = 255;
  }
  return Copy(rgba);
}

val ColourOf(TColor colour) {
  val rgb = val::array();
  rgb.call<void>("push", static_cast<int>(RedOf(colour)));
  rgb.call<void>("push", static_cast<int>(GreenOf(colour)));
  rgb.call<void>("push", static_cast<int>(BlueOf(colour)));
  return rgb;
}

val RolesOf(const ColourRoleSet& roles) {
  val list = val::array();
  for (int role = 0; role < RoleCount; ++role) list.call<void>("push", roles[role]);
  return list;
}

bool Given(const val& value) { return !value.isUndefined() && !value.isNull(); }

std::string Text(const val& value) { return value.call<std::string>("toString"); }

// A list of `count` whole numbers, or nothing.
std::optional<std::vector<int>> Integers(const val& value, std::size_t count) {
  if (!val::global("Array").call<bool>("isArray", value)) return std::nullopt;
  if (value["length"].as<std::size_t>() != count) return std::nullopt;
  std::vector<int> numbers;
  for (std::size_t i = 0; i < count; ++i) {
    const val item = value[i];
    if (!val::global("Number").call<bool>("isInteger", item)) return std::nullopt;
    const double number = item.as<double>();
    if (number < -1e9 || number > 1e9) return std::nullopt;
    numbers.push_back(static_cast<int>(number));
  }
  return numbers;
}

// What convert() was asked for, read from the page's options with the command line's
// defaults; `refusal` says what was wrong, in the command line's words.
struct Request {
  ConversionSettings settings;
  OutputOptions output;
  std::string refusal;
};

Request ReadOptions(const val& options) {
  Request request;
  ConversionSettings& settings = request.settings;
  auto refuse = [&request](const std::string& why) {
    if (request.refusal.empty()) request.refusal = why;
  };
  if (!Given(options)) return request;
  const val keys = val::global("Object").call<val>("keys", options);
  const std::size_t count = keys["length"].as<std::size_t>();
  static const char* const known[] = {"scale",       "crop",   "offsets", "colours",
                                      "autoColours", "dither", "machine", "name"};
  for (std::size_t i = 0; i < count; ++i) {
    const std::string key = keys[i].as<std::string>();
    bool isKnown = false;
    for (const char* name : known) isKnown = isKnown || key == name;
    if (!isKnown) refuse("unknown option '" + key + "'");
  }
  if (const val scale = options["scale"]; Given(scale)) {
    const std::string text = Text(scale);
    if (const std::optional<ScaleSetting> parsed = ParseScale(text)) {
      settings.scale = *parsed;
      settings.scaleGiven = true;
    } else {
      refuse("scale must be fit or a percentage 1.." + std::to_string(kMaxScalePercent) +
             ", not '" + text + "'");
    }
  }
  if (const val crop = options["crop"]; Given(crop)) {
    const auto corner = Integers(crop, 2);
    if (!corner) {
      refuse("crop needs [x, y] (two whole numbers), not '" + Text(crop) + "'");
    } else if ((*corner)[0] < 0 || (*corner)[1] < 0) {
      refuse("crop " + Text(crop) + " lies outside the picture (x and y start at 0)");
    } else {
      settings.crop = {(*corner)[0], (*corner)[1]};
    }
  }
  if (const val offsets = options["offsets"]; Given(offsets)) {
    const auto values = Integers(offsets, 3);
    if (!values) {
      refuse("offsets needs [r, g, b] (three whole numbers), not '" + Text(offsets) + "'");
    } else {
      for (const int offset : *values) {
        if (offset < -255 || offset > 255) {
          refuse("offsets " + Text(offsets) + ": " + std::to_string(offset) +
                 " is out of range -255..255");
        }
      }
      settings.adjustment.red = (*values)[0];
      settings.adjustment.green = (*values)[1];
      settings.adjustment.blue = (*values)[2];
    }
  }
  const val colours = options["colours"];
  if (Given(colours)) {
    const auto indices = Integers(colours, RoleCount);
    if (!indices) {
      refuse("colours needs five palette indices [bg, b1, s1, b2, s2], not '" + Text(colours) +
             "'");
    } else {
      for (int role = 0; role < RoleCount; ++role) {
        const int index = (*indices)[role];
        if (index < 0 || index >= static_cast<int>(C64Palette.size())) {
          refuse("colours: " + std::to_string(index) + " is no palette index (0..15)");
        } else {
          settings.roles[role] = index;
        }
      }
    }
  }
  if (const val goal = options["autoColours"]; Given(goal)) {
    if (const auto parsed = ChoiceNamed<ColourGoal>(ColourGoalNames, Text(goal))) {
      settings.autoColours = *parsed;
    } else {
      refuse("autoColours must be faithful, balanced or calm, not '" + Text(goal) + "'");
    }
    if (Given(colours)) refuse("colours and autoColours exclude each other");
  }
  if (const val dither = options["dither"]; Given(dither)) {
    if (const auto parsed = ChoiceNamed<Dithering>(DitheringNames, Text(dither))) {
      settings.adjustment.dithering = *parsed;
    } else {
      refuse("dither must be none, fs or low-flicker, not '" + Text(dither) + "'");
    }
  }
  if (const val machine = options["machine"]; Given(machine)) {
    if (const auto parsed = MachineFromName(Text(machine))) {
      request.output.machine = *parsed;
    } else {
      refuse("machine must be pal, ntsc, ntsc-old, drean or any, not '" + Text(machine) + "'");
    }
  }
  if (const val name = options["name"]; Given(name)) request.output.c64Name = Text(name);
  return request;
}

// Every output of the session's conversion and the roles it used.
val Outputs(Session& session, const OutputOptions& options) {
  val result = val::object();
  result.set("exe", Copy(session.Output(OutputKind::Executable, options)));
  result.set("data", Copy(session.Output(OutputKind::Data, options)));
  result.set("d64", Copy(session.Output(OutputKind::DiskImage, options)));
  result.set("png", Copy(session.Output(OutputKind::Png, options)));
  result.set("colours", RolesOf(session.Roles()));
  result.set("warning", session.PictureWarning());
  return result;
}

// The picture a browser decoded, from RGBA bytes at `address`.
Bitmap32 PictureAt(std::uintptr_t address, int width, int height) {
  const std::size_t size = static_cast<std::size_t>(width > 0 ? width : 0) *
                           static_cast<std::size_t>(height > 0 ? height : 0) * 4;
  return Session::PictureFromRgba(BytesAt(address, size), width, height);
}

// The session behind the page's controls, stepped as the window steps its own.
class WebSession {
 public:
  // Whether the library decodes these bytes itself; if not, the page decodes them with the
  // browser and calls openPixels / convertPixels.
  static bool DecodesPicture(std::uintptr_t address, std::size_t size) {
    return Session::DecodesPicture(BytesAt(address, size));
  }

  // The whole conversion of one picture with the page API's options, on a session of its
  // own: {exe, data, d64, png, colours} or {error}.
  static val Convert(std::uintptr_t address, std::size_t size, const std::string& file,
                     const val& options) {
    return ConvertWith(file, options, [&](Session& session, const ConversionSettings& settings) {
      session.ConvertBytes(BytesAt(address, size), file, settings);
    });
  }
  static val ConvertPixels(std::uintptr_t address, int width, int height, const std::string& file,
                           const val& options) {
    return ConvertWith(file, options, [&](Session& session, const ConversionSettings& settings) {
      session.ConvertPixels(PictureAt(address, width, height), file, settings);
    });
  }

  // The sixteen palette colours as [r, g, b] and their names.
  static val Palette() {
    val colours = val::array();
    for (std::size_t index = 0; index < C64Palette.size(); ++index) {
      val colour = val::object();
      colour.set("rgb", ColourOf(C64Palette[index]));
      colour.set("name", std::string(C64ColourNames[index]));
      colours.call<void>("push", colour);
    }
    return colours;
  }
  static val DefaultRoles() { return RolesOf(DefaultColourRoles); }

  // Opens a picture file at `scale` ("fit" or a percentage) with the window at its top-left
  // corner and converts it; {error} if it cannot, and then nothing changed.
  val Open(std::uintptr_t address, std::size_t size, const std::string& file,
           const std::string& scale, const val& adjustment) {
    return Opening(file, scale, adjustment, [&](const ScaleSetting& setting) {
      session_.OpenBytes(BytesAt(address, size), file, setting);
    });
  }
  val OpenPixels(std::uintptr_t address, int width, int height, const std::string& file,
                 const std::string& scale, const val& adjustment) {
    return Opening(file, scale, adjustment, [&](const ScaleSetting& setting) {
      session_.OpenPixels(PictureAt(address, width, height), file, setting);
    });
  }

  // Shows the picture at `percent` ("fit" for Fit's), keeping the point at the window's
  // centre where the picture allows, then converts.
  val SetScale(const std::string& scale, const val& adjustment) {
    try {
      const std::optional<ScaleSetting> setting = ParseScale(scale);
      if (!setting || !session_.HasPicture()) return Failure("no such scale: " + scale);
      const int old = session_.State().ScalePercent;
      const int percent = setting->fit ? session_.FitScale() : setting->percent;
      if (percent != old) {
        const PercentRange range = session_.AllowedScales();
        if (!range.Contains(percent)) return Failure("no such scale: " + scale);
        session_.SetScale(percent);
        crop_ =
            CropKeepingCentre(session_.SourceWidth(), session_.SourceHeight(), old, crop_, percent);
      }
      fit_ = setting->fit;
      return Move(crop_.left, crop_.top, adjustment);
    } catch (...) {
      return FailureOf(std::current_exception(), session_.PictureName());
    }
  }

  // Moves the window's corner to (left, top) in the scaled picture, within it, and converts
  // with the adjustment {red, green, blue, dither}.
  val Move(int left, int top, const val& adjustment) {
    try {
      const int maxLeft = session_.State().PictureWidth - WindowWidth;
      const int maxTop = session_.State().PictureHeight - WindowHeight;
      crop_ = {std::clamp(left, 0, std::max(maxLeft, 0)), std::clamp(top, 0, std::max(maxTop, 0))};
      session_.ReadSourceWindow(-crop_.left, -crop_.top);
      return Reconvert(adjustment);
    } catch (...) {
      return FailureOf(std::current_exception(), session_.PictureName());
    }
  }

  // The offsets and dithering changed: the conversion made again.
  val Reconvert(const val& adjustment) {
    try {
      const std::optional<Adjustment> read = AdjustmentOf(adjustment);
      if (!read) return Failure("offsets must be -255..255 and dither none, fs or low-flicker");
      session_.Reconvert(*read);
      return View();
    } catch (...) {
      return FailureOf(std::current_exception(), session_.PictureName());
    }
  }

  // "Convert": the conversion made again with the roles chosen since.
  val ConvertAgain(const std::string& dither) {
    const auto dithering = ChoiceNamed<Dithering>(DitheringNames, dither);
    if (!dithering) return Failure("dither must be none, fs or low-flicker");
    session_.ConvertPicture(*dithering);
    return View();
  }

  // A palette pick: the roles and so the mix colours; the preview shows the last conversion
  // in them, as a save would write it.
  val SetRoles(const val& roles) {
    const auto indices = Integers(roles, RoleCount);
    if (!indices) return Failure("roles needs five palette indices");
    ColourRoleSet set;
    for (int role = 0; role < RoleCount; ++role) {
      if ((*indices)[role] < 0 || (*indices)[role] > 15) return Failure("no palette index");
      set[role] = (*indices)[role];
    }
    session_.SetColourRoles(set);
    return View();
  }

  // Auto Colors: the roles the search finds for the adjusted crop, the dithering and the
  // goal, with `progress(permille)` called now and then. Changes nothing.
  val FindRoles(const std::string& dither, const std::string& goal, const val& progress) {
    const auto dithering = ChoiceNamed<Dithering>(DitheringNames, dither);
    const auto colourGoal = ChoiceNamed<ColourGoal>(ColourGoalNames, goal);
    if (!dithering || !colourGoal) return Failure("no such dithering or goal");
    try {
      SearchControl control;
      control.progress = [&progress](int permille) { progress(permille); };
      const std::optional<ColourRoleSet> roles =
          session_.FindColourRoles(*dithering, *colourGoal, control);
      if (!roles) return Failure("cancelled");
      return RolesOf(*roles);
    } catch (...) {
      return FailureOf(std::current_exception(), session_.PictureName());
    }
  }

  // One output file of the conversion on show: "exe", "data", "png" or "d64".
  val Output(const std::string& kind, const std::string& machine, const std::string& name) {
    const auto outputKind = ChoiceNamed<OutputKind>(OutputKindNames, kind);
    const std::optional<Machine> target = MachineFromName(machine);
    if (!outputKind || !target) return Failure("no such output or target");
    try {
      return Copy(session_.Output(*outputKind, {*target, name}));
    } catch (...) {
      return FailureOf(std::current_exception(), session_.PictureName());
    }
  }

  std::string DiskName() const { return session_.DiskName(); }

  // For bench/web_bench.py: the milliseconds one conversion pass of the window on show takes
  // with `dither`, the mean of `runs`.
  double TimeConversion(const std::string& dither, int runs) {
    const auto dithering = ChoiceNamed<Dithering>(DitheringNames, dither);
    if (!dithering || runs <= 0) return -1;
    const double start = emscripten_get_now();
    for (int run = 0; run < runs; ++run) session_.ConvertPicture(*dithering);
    return (emscripten_get_now() - start) / runs;
  }

 private:
  template <class Convert>
  static val ConvertWith(const std::string& file, const val& options, Convert convert) {
    const Request request = ReadOptions(options);
    if (!request.refusal.empty()) return Failure(request.refusal);
    try {
      Session session;
      convert(session, request.settings);
      return Outputs(session, request.output);
    } catch (...) {
      return FailureOf(std::current_exception(), file);
    }
  }

  template <class OpenStep>
  val Opening(const std::string& file, const std::string& scale, const val& adjustment,
              OpenStep open) {
    try {
      const std::optional<ScaleSetting> setting = ParseScale(scale);
      if (!setting) return Failure("no such scale: " + scale);
      session_.MarkPictureLoaded();
      open(*setting);
      fit_ = setting->fit;
      crop_ = {0, 0};
      return Move(0, 0, adjustment);
    } catch (...) {
      return FailureOf(std::current_exception(), file);
    }
  }

  static std::optional<Adjustment> AdjustmentOf(const val& adjustment) {
    const auto offsets = Integers(adjustment["offsets"], 3);
    const auto dithering = ChoiceNamed<Dithering>(DitheringNames, Text(adjustment["dither"]));
    if (!offsets || !dithering) return std::nullopt;
    for (const int offset : *offsets) {
      if (offset < -255 || offset > 255) return std::nullopt;
    }
    return Adjustment{(*offsets)[0], (*offsets)[1], (*offsets)[2], *dithering};
  }

  // Everything the page draws: the adjusted crop, the preview, the mix colours and roles,
  // the scale and the window's place in the scaled picture.
  val View() const {
    val view = val::object();
    view.set("source", RgbaOf(session_.SourceView().Words(), PixelCount));
    const Bitmap32& preview = session_.Preview();
    view.set("preview", RgbaOf(preview.Words(), static_cast<std::size_t>(preview.Width()) *
                                                    static_cast<std::size_t>(preview.Height())));
    view.set("previewWidth", preview.Width());
    view.set("previewHeight", preview.Height());
    val mixes = val::array();
    for (const TColor colour : session_.MixColours()) mixes.call<void>("push", ColourOf(colour));
    view.set("mixes", mixes);
    view.set("roles", RolesOf(session_.Roles()));
    const ConverterState& state = session_.State();
    view.set("scale", state.ScalePercent);
    view.set("fit", fit_);
    if (session_.HasPicture()) {
      const PercentRange range = session_.AllowedScales();
      view.set("minScale", range.min);
      view.set("maxScale", range.max);
    }
    view.set("pictureWidth", state.PictureWidth);
    view.set("pictureHeight", state.PictureHeight);
    view.set("left", crop_.left);
    view.set("top", crop_.top);
    view.set("diskName", session_.DiskName());
    view.set("warning", session_.PictureWarning());
    return view;
  }

  Session session_;
  CropCorner crop_;
  bool fit_ = false;
};

}  // namespace
}  // namespace vantrel::web

EMSCRIPTEN_BINDINGS(vantrel) {
  using vantrel::web::WebSession;
  emscripten::class_<WebSession>("Session")
      .constructor<>()
      .class_function("decodesPicture", &WebSession::DecodesPicture)
      .class_function("convert", &WebSession::Convert)
      .class_function("convertPixels", &WebSession::ConvertPixels)
      .class_function("palette", &WebSession::Palette)
      .class_function("defaultRoles", &WebSession::DefaultRoles)
      .function("open", &WebSession::Open)
      .function("openPixels", &WebSession::OpenPixels)
      .function("setScale", &WebSession::SetScale)
      .function("move", &WebSession::Move)
      .function("reconvert", &WebSession::Reconvert)
      .function("convertAgain", &WebSession::ConvertAgain)
      .function("setRoles", &WebSession::SetRoles)
      .function("findRoles", &WebSession::FindRoles)
      .function("output", &WebSession::Output)
      .function("diskName", &WebSession::DiskName)
      .function("timeConversion", &WebSession::TimeConversion);
}
