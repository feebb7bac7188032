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

bool IsList(const val& value) { return val::global("Array").call<bool>("isArray", value); }

// JavaScript's own text of any value, null and undefined too.
std::string Text(const val& value) { return val::global("String")(value).as<std::string>(); }

// A page value as the option table reads it, as the command line would have written it: a
// list's items joined by commas ([0, 0, 300] is "0,0,300"), a list or an object inside it kept
// in brackets so that it cannot pass for numbers; anything else as JavaScript writes it.
std::string OptionText(const val& value) {
  if (!IsList(value)) return Text(value);
  std::string text;
  const std::size_t count = value["length"].as<std::size_t>();
  for (std::size_t i = 0; i < count; ++i) {
    const val item = value[i];
    const bool nested = IsList(item) || item.typeOf().as<std::string>() == "object";
    text += (i ? "," : "") + (nested && Given(item) ? "[" + Text(item) + "]" : Text(item));
  }
  return text;
}

// Takes the page's value of the table's option `name` into `values`, with the option spelt
// as the page spells it; throws VantrelError as the table refuses it.
void Take(OptionValues& values, std::string_view name, const val& value) {
  const ConversionOption& option = *FindOption(name);
  ApplyOption(option, Spelled(option.name, OptionSpelling::Page), OptionText(value), values);
}

// What convert() was asked for: the page API's options (the table's, with the command line's
// defaults) and the page's own, the file's name on a disk.
struct Request {
  OptionValues values;
  std::string c64Name;
};

// The option of the table a page key names (autoColours, or autoColors), or null.
const ConversionOption* OptionOfKey(const std::string& key) {
  for (const ConversionOption& option : ConversionOptions()) {
    if (key == Spelled(option.name, OptionSpelling::Page) ||
        (!option.alias.empty() && key == Spelled(option.alias, OptionSpelling::Page))) {
      return &option;
    }
  }
  return nullptr;
}

// Reads the options in the order given, as the command line reads its arguments; throws
// VantrelError for the first one refused.
Request ReadOptions(const val& options) {
  Request request;
  if (!Given(options)) return request;
  const val keys = val::global("Object").call<val>("keys", options);
  const std::size_t count = keys["length"].as<std::size_t>();
  for (std::size_t i = 0; i < count; ++i) {
    const std::string key = keys[i].as<std::string>();
    const val value = options[key];
    if (key == "name") {
      if (Given(value)) request.c64Name = Text(value);
      continue;
    }
    const ConversionOption* option = OptionOfKey(key);
    if (!option) throw VantrelError(Message::kUnknownOption, key);
    if (!Given(value)) continue;
    std::string text;
    if (option->IsFlag()) {
      // A flag is true, or not given.
      if (value.isFalse()) continue;
      if (!value.isTrue()) throw VantrelError(Message::kOptionTakesNoValue, key);
    } else if (value.isTrue() && !option->implied.empty()) {
      text = option->implied;  // autoColours: true, as a plain --auto-colours
    } else {
      text = OptionText(value);
    }
    ApplyOption(*option, key, text, request.values);
  }
  CheckOptionsTogether(request.values, OptionSpelling::Page);
  return request;
}

// The option table for the page's controls: each option's name and key, its choices with the
// window's captions, the range of its numbers and its default.
val OptionTable() {
  val table = val::object();
  for (const ConversionOption& option : ConversionOptions()) {
    val row = val::object();
    row.set("key", Spelled(option.name, OptionSpelling::Page));
    row.set("flag", option.IsFlag());
    val choices = val::array();
    for (const OptionChoice& choice : option.choices) {
      val item = val::object();
      item.set("name", std::string(choice.name));
      item.set("caption", std::string(choice.caption));
      choices.call<void>("push", item);
    }
    row.set("choices", choices);
    row.set("min", option.min);
    row.set("max", option.max);
    row.set("defaultValue", option.defaultValue);
    table.set(option.name, row);
  }
  return table;
}

// Every output of the session's conversion and the roles it used.
val Outputs(Session& session, const OutputOptions& options) {
  val result = val::object();
  result.set("exe", Copy(session.Output(OutputKind::Executable, options)));
  result.set("data", Copy(session.Output(OutputKind::Data, options)));
  result.set("d64", Copy(session.Output(OutputKind::DiskImage, options)));
  result.set("png", Copy(session.Output(OutputKind::Png, options)));
  result.set("asm", Copy(session.Output(OutputKind::AssemblerSource, options)));
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

  // The sixteen colours of the default palette as [r, g, b] and their names.
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
  static val Options() { return OptionTable(); }

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
      const ScaleSetting setting = ScaleOf(scale);
      if (!session_.HasPicture()) throw VantrelError(Message::kOpenAPictureFirst);
      const int old = session_.State().ScalePercent;
      // As the window's control: the percentage brought into the picture's range.
      const PercentRange range = session_.AllowedScales();
      const int percent =
          setting.fit ? session_.FitScale() : std::clamp(setting.percent, range.min, range.max);
      if (percent != old) {
        session_.SetScale(percent);
        crop_ =
            CropKeepingCentre(session_.SourceWidth(), session_.SourceHeight(), old, crop_, percent);
      }
      fit_ = setting.fit;
      return Move(crop_.left, crop_.top, adjustment);
    } catch (...) {
      return FailureOf(std::current_exception(), session_.PictureName());
    }
  }

  // Moves the window's corner to (left, top) in the scaled picture, within it, and converts
  // with the adjustment {red, green, blue, dither}.
  val Move(int left, int top, const val& adjustment) {
    try {
      crop_ = session_.AllowedCrops().Clamp({left, top});
      session_.ReadSourceWindow(crop_.DrawX(), crop_.DrawY());
      return Reconvert(adjustment);
    } catch (...) {
      return FailureOf(std::current_exception(), session_.PictureName());
    }
  }

  // The offsets and dithering changed: the conversion made again.
  val Reconvert(const val& adjustment) {
    try {
      session_.Reconvert(AdjustmentOf(adjustment));
      return View();
    } catch (...) {
      return FailureOf(std::current_exception(), session_.PictureName());
    }
  }

  // "Convert": the conversion made again with the roles chosen since.
  val ConvertAgain(const std::string& dither) {
    try {
      session_.ConvertPicture(DitheringOf(dither));
      return View();
    } catch (...) {
      return FailureOf(std::current_exception(), session_.PictureName());
    }
  }

  // A palette pick: the roles and so the mix colours; the preview shows the last conversion
  // in them, as a save would write it.
  val SetRoles(const val& roles) {
    try {
      OptionValues values;
      Take(values, "colours", roles);
      session_.SetColourRoles(values.settings.roles);
      return View();
    } catch (...) {
      return FailureOf(std::current_exception(), session_.PictureName());
    }
  }

  // The palette and the mix ("pepto", "average" ...), read as the option table reads them: the
  // mix colours and the preview follow at once; the page converts again.
  val SetModel(const val& palette, const val& mix) {
    try {
      OptionValues values;
      Take(values, "palette", palette);
      Take(values, "mix", mix);
      session_.SetColourModel(values.settings.model);
      return View();
    } catch (...) {
      return FailureOf(std::current_exception(), session_.PictureName());
    }
  }

  // Auto Colors: the roles the search finds for the adjusted crop, the dithering and the
  // goal, with `progress(permille)` called now and then. Changes nothing.
  val FindRoles(const std::string& dither, const std::string& goal, const val& progress) {
    try {
      OptionValues values;
      Take(values, "auto-colours", val(goal));
      SearchControl control;
      control.progress = [&progress](int permille) { progress(permille); };
      const std::optional<ColourRoleSet> roles =
          session_.FindColourRoles(DitheringOf(dither), *values.settings.autoColours, control);
      if (!roles) return Failure("cancelled");
      return RolesOf(*roles);
    } catch (...) {
      return FailureOf(std::current_exception(), session_.PictureName());
    }
  }

  // Colours per cell: what the search finds for the adjusted crop, the dithering and the goal,
  // with `progress(permille)` called now and then: {roles, cells}, the cells as four colours
  // each (background and bitmap colour of frame 1, then of frame 2), row after row. Changes
  // nothing.
  val FindCells(const std::string& dither, const std::string& goal, const val& progress) {
    try {
      OptionValues values;
      Take(values, "per-cell", val(goal));
      SearchControl control;
      control.progress = [&progress](int permille) { progress(permille); };
      const std::optional<CellColourChoice> choice = session_.FindCellColours(
          DitheringOf(dither), *values.settings.perCell, std::nullopt, control);
      if (!choice) return Failure("cancelled");
      val cells = val::array();
      for (const CellColourSet& cell : choice->cells) {
        for (const int colour : {cell.Background1Colour, cell.Bitmap1Colour, cell.Background2Colour,
                                 cell.Bitmap2Colour}) {
          cells.call<void>("push", colour);
        }
      }
      val found = val::object();
      found.set("roles", RolesOf(choice->roles));
      found.set("cells", cells);
      return found;
    } catch (...) {
      return FailureOf(std::current_exception(), session_.PictureName());
    }
  }

  // The roles with colours per cell, as FindCells gives them; the preview shows the last
  // conversion in them.
  val SetCells(const val& roles, const val& cells) {
    try {
      OptionValues values;
      Take(values, "colours", roles);
      const std::vector<int> colours = emscripten::vecFromJSArray<int>(cells);
      if (colours.size() != 4 * CellColours().size()) {
        throw std::invalid_argument("four colours a cell");
      }
      CellColours table;
      for (std::size_t cell = 0; cell < table.size(); ++cell) {
        const auto colour = [&](int k) {
          const int c = colours[4 * cell + static_cast<std::size_t>(k)];
          if (c < 0 || c > 15) throw std::invalid_argument("a cell colour outside the palette");
          return static_cast<std::uint8_t>(c);
        };
        table[cell] = {colour(0), colour(1), colour(2), colour(3)};
      }
      session_.SetCellColours(values.settings.roles, table);
      return View();
    } catch (...) {
      return FailureOf(std::current_exception(), session_.PictureName());
    }
  }

  // One output file of the conversion on show: "exe", "data", "png", "d64" or "asm", for the
  // target, packed or not, a source in the syntax named.
  val Output(const std::string& kind, const std::string& machine, const std::string& name,
             bool pack, const std::string& syntax) {
    try {
      const auto outputKind = ChoiceNamed<OutputKind>(OutputKindNames, kind);
      if (!outputKind) {
        throw VantrelError(Message::kNotAChoice, "kind", ChoiceList(OutputKindNames), kind);
      }
      OptionValues values;
      Take(values, "machine", val(machine));
      Take(values, "asm-syntax", val(syntax));
      return Copy(session_.Output(*outputKind, {values.machine, name, pack, values.asmSyntax}));
    } catch (...) {
      return FailureOf(std::current_exception(), session_.PictureName());
    }
  }

  std::string DiskName() const { return session_.DiskName(); }

  // For bench/web_bench.py: the milliseconds one conversion pass of the window on show takes
  // with `dither`, the mean of `runs`.
  double TimeConversion(const std::string& dither, int runs) {
    if (runs <= 0) return -1;
    try {
      const Dithering dithering = DitheringOf(dither);
      const double start = emscripten_get_now();
      for (int run = 0; run < runs; ++run) session_.ConvertPicture(dithering);
      return (emscripten_get_now() - start) / runs;
    } catch (...) {
      return -1;
    }
  }

 private:
  template <class Convert>
  static val ConvertWith(const std::string& file, const val& options, Convert convert) {
    try {
      const Request request = ReadOptions(options);
      Session session;
      convert(session, request.values.settings);
      const OptionValues& v = request.values;
      return Outputs(session, {v.machine, request.c64Name, v.pack, v.asmSyntax});
    } catch (...) {
      return FailureOf(std::current_exception(), file);
    }
  }

  template <class OpenStep>
  val Opening(const std::string& file, const std::string& scale, const val& adjustment,
              OpenStep open) {
    try {
      const ScaleSetting setting = ScaleOf(scale);
      session_.MarkPictureLoaded();
      open(setting);
      fit_ = setting.fit;
      crop_ = {0, 0};
      return Move(0, 0, adjustment);
    } catch (...) {
      return FailureOf(std::current_exception(), file);
    }
  }

  // The page's controls' values, read by the option table's rows.
  static ScaleSetting ScaleOf(const std::string& scale) {
    OptionValues values;
    Take(values, "scale", val(scale));
    return values.settings.scale;
  }
  static Dithering DitheringOf(const std::string& dither) {
    OptionValues values;
    Take(values, "dither", val(dither));
    return values.settings.adjustment.dithering;
  }
  static Adjustment AdjustmentOf(const val& adjustment) {
    OptionValues values;
    Take(values, "offsets", adjustment["offsets"]);
    Take(values, "dither", adjustment["dither"]);
    return values.settings.adjustment;
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
    val palette = val::array();
    for (const TColor colour : session_.Palette()) palette.call<void>("push", ColourOf(colour));
    view.set("palette", palette);
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
      .class_function("options", &WebSession::Options)
      .function("open", &WebSession::Open)
      .function("openPixels", &WebSession::OpenPixels)
      .function("setScale", &WebSession::SetScale)
      .function("move", &WebSession::Move)
      .function("reconvert", &WebSession::Reconvert)
      .function("convertAgain", &WebSession::ConvertAgain)
      .function("setRoles", &WebSession::SetRoles)
      .function("setModel", &WebSession::SetModel)
      .function("findRoles", &WebSession::FindRoles)
      .function("findCells", &WebSession::FindCells)
      .function("setCells", &WebSession::SetCells)
      .function("output", &WebSession::Output)
      .function("diskName", &WebSession::DiskName)
      .function("timeConversion", &WebSession::TimeConversion);
}
