// Project files written and read: one member a line, each value checked on reading.
#include "session/project.h"

#include <nettle/sha2.h>

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

#include "colour/palettes.h"
#include "core/error.h"
#include "core/read_file.h"

namespace vantrel {
namespace {

using Json = nlohmann::ordered_json;

[[noreturn]] void Unusable(const std::string& name, const std::string& why) {
  throw VantrelError(Message::kUnusableProject, name, why);
}

VantrelError TooLarge(const std::string& name, long long size) {
  return VantrelError(Message::kUnusableProject, name,
                      Text(Message::kProjectTooLarge, size, MaxProjectBytes >> 20));
}

// Lists and objects nested deeper than a project's are refused while the text is parsed,
// before a value nested thousands deep exists that copying or comparing would recurse into.
struct NestedTooDeep {};

Json ParseJson(std::string_view text) {
  return Json::parse(text, [](int depth, Json::parse_event_t event, const Json&) {
    const bool opens =
        event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start;
    if (opens && depth >= ProjectNesting) throw NestedTooDeep{};
    return true;
  });
}

template <std::size_t Count>
std::string_view NameOf(const std::array<std::string_view, Count>& names, int index) {
  return names.at(static_cast<std::size_t>(index));
}

// The edits as runs along the rows: [x, y, code, count] paints `count` pixels from (x, y)
// rightwards in one mix colour.
Json EditRuns(const Edits& edits) {
  Json runs = Json::array();
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth;) {
      const std::uint8_t code = edits.codes[y * WindowWidth + x];
      int end = x + 1;
      while (end < WindowWidth && edits.codes[y * WindowWidth + end] == code) ++end;
      if (code != 0) runs.push_back({x, y, code, end - x});
      x = end;
    }
  }
  return runs;
}

// Reads the members of one object, refusing a missing one or one of another type; numbers are
// named in messages by the member they belong to.
class Reader {
 public:
  Reader(const Json& object, const std::string& name) : object_(object), name_(name) {}

  const Json& Member(const char* key, Json::value_t type) const {
    const auto it = object_.find(key);
    if (it == object_.end()) Unusable(name_, Text(Message::kMemberMissing, key));
    if (type == Json::value_t::number_integer ? !it->is_number_integer() : it->type() != type) {
      Unusable(name_, Text(WrongType(type), key));
    }
    return *it;
  }
  int Integer(const Json& value, const char* key, int low, int high) const {
    if (!value.is_number_integer()) Unusable(name_, Text(Message::kMemberNotWholeNumber, key));
    const auto number = value.get<long long>();
    if (number < low || number > high) {
      Unusable(name_, Text(Message::kNumberOutside, key, number, low, high));
    }
    return static_cast<int>(number);
  }
  std::vector<int> Integers(const char* key, std::size_t count, int low, int high) const {
    const Json& list = Member(key, Json::value_t::array);
    if (list.size() != count) Unusable(name_, Text(Message::kNeedsNumbers, key, count));
    std::vector<int> numbers;
    for (const Json& value : list) numbers.push_back(Integer(value, key, low, high));
    return numbers;
  }
  template <typename Choice, std::size_t Count>
  Choice Named(const char* key, const std::array<std::string_view, Count>& names) const {
    const std::string text = Member(key, Json::value_t::string).get<std::string>();
    const std::optional<Choice> choice = ChoiceNamed<Choice>(names, text);
    if (!choice) Unusable(name_, Text(Message::kCannotBe, key, text));
    return *choice;
  }

 private:
  static Message WrongType(Json::value_t type) {
    switch (type) {
      case Json::value_t::string:
        return Message::kMemberNotText;
      case Json::value_t::array:
        return Message::kMemberNotList;
      case Json::value_t::object:
        return Message::kMemberNotObject;
      default:
        return Message::kMemberNotWholeNumber;
    }
  }
  const Json& object_;
  const std::string& name_;
};

Json RoleList(const ColourRoleSet& roles) {
  Json list = Json::array();
  for (int role = 0; role < RoleCount; ++role) list.push_back(roles[role]);
  return list;
}

ColourRoleSet ReadRoles(const Reader& reader, const char* key) {
  const std::vector<int> colours = reader.Integers(key, RoleCount, 0, 15);
  ColourRoleSet roles;
  for (int role = 0; role < RoleCount; ++role) roles[role] = colours[role];
  return roles;
}

// The cells as rows of text, one per row of cells: each cell four hexadecimal digits, its
// background and bitmap colour in frame 1, then in frame 2, cells apart by a space.
Json CellText(const CellColours& cells) {
  static constexpr char kHex[] = "0123456789abcdef";
  Json rows = Json::array();
  for (int row = 0; row < CellRows; ++row) {
    std::string text;
    for (int column = 0; column < CellColumns; ++column) {
      const CellColourSet& c = cells[row * CellColumns + column];
      if (column > 0) text += ' ';
      for (const int colour :
           {c.Background1Colour, c.Bitmap1Colour, c.Background2Colour, c.Bitmap2Colour}) {
        text += kHex[colour & 0x0F];
      }
    }
    rows.push_back(text);
  }
  return rows;
}

// "cells" of an object: absent or null for none.
std::optional<CellColours> ReadCells(const Json& object, const std::string& name) {
  const auto found = object.find("cells");
  if (found == object.end() || found->is_null()) return std::nullopt;
  if (!found->is_array()) Unusable(name, Text(Message::kMemberNotList, "cells"));
  if (found->size() != static_cast<std::size_t>(CellRows)) {
    // The first row missing, or the first one too many.
    Unusable(name,
             Text(Message::kCellRowNotColours, std::min<std::size_t>(found->size(), CellRows) + 1));
  }
  const auto digit = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
  };
  CellColours cells;
  for (int row = 0; row < CellRows; ++row) {
    const Json& line = (*found)[row];
    const std::string text = line.is_string() ? line.get<std::string>() : std::string();
    bool whole = text.size() == static_cast<std::size_t>(5 * CellColumns - 1);
    for (int column = 0; whole && column < CellColumns; ++column) {
      const char* c = text.data() + 5 * column;
      if (column > 0 && c[-1] != ' ') whole = false;
      int colours[4];
      for (int k = 0; k < 4; ++k) {
        colours[k] = digit(c[k]);
        if (colours[k] < 0) whole = false;
      }
      if (whole) {
        cells[row * CellColumns + column] = {
            static_cast<std::uint8_t>(colours[0]), static_cast<std::uint8_t>(colours[1]),
            static_cast<std::uint8_t>(colours[2]), static_cast<std::uint8_t>(colours[3])};
      }
    }
    if (!whole) Unusable(name, Text(Message::kCellRowNotColours, row + 1));
  }
  return cells;
}

// The model's members of an object, each only when it is not the program's own, so that a
// project in the program's colours is written as before them.
void WriteModel(Json& object, const ColourModel& model) {
  if (model.palette != DefaultColourModel.palette) {
    object["palette"] = PaletteOf(model.palette).name;
  }
  if (model.mix != DefaultColourModel.mix) {
    object["mix"] = NameOf(MixRuleNames, static_cast<int>(model.mix));
  }
}

// "palette" and "mix" of an object, each the program's own where it is absent.
ColourModel ReadModel(const Json& object, const Reader& reader) {
  ColourModel model;
  if (object.contains("palette"))
    model.palette = reader.Named<PaletteId>("palette", PaletteNames());
  if (object.contains("mix")) model.mix = reader.Named<MixRule>("mix", MixRuleNames);
  return model;
}

bool IsDefault(const ColourModel& model) { return model == DefaultColourModel; }

std::array<std::string_view, 5> MachineNames() {
  std::array<std::string_view, 5> names{};
  for (std::size_t m = 0; m < AllMachines.size(); ++m) names[m] = MachineName(AllMachines[m]);
  return names;
}

}  // namespace

std::string ProjectText(const Project& project) {
  const ConversionSettings& s = project.settings;
  Json json;
  // The oldest version that holds the project: the file earlier versions wrote.
  const bool models = project.converted ? !IsDefault(s.model) || !IsDefault(project.model)
                                        : !IsDefault(project.model);
  json["vantrel"] = models ? 3 : s.cells || project.cells ? 2 : 1;
  json["photo"] = {{"path", project.photo}, {"sha256", project.photoSha256}};
  if (s.scale.fit) {
    json["scale"] = "fit";
  } else {
    json["scale"] = s.scale.percent;
  }
  json["crop"] = {s.crop.left, s.crop.top};
  json["offsets"] = {s.adjustment.red, s.adjustment.green, s.adjustment.blue};
  if (project.converted) {
    json["conversion"] = {
        {"colours", RoleList(s.roles)},
        {"dither", NameOf(DitheringNames, static_cast<int>(s.adjustment.dithering))}};
    if (s.cells) json["conversion"]["cells"] = CellText(*s.cells);
    WriteModel(json["conversion"], s.model);
  } else {
    json["conversion"] = nullptr;
  }
  json["colours"] = RoleList(project.roles);
  json["dither"] = NameOf(DitheringNames, static_cast<int>(project.dithering));
  WriteModel(json, project.model);
  json["machine"] = MachineName(project.machine);
  // One member a line, and the edits one run a line: short enough to read and to diff.
  std::string text = "{\n";
  for (auto member = json.begin(); member != json.end(); ++member) {
    text += "  " + Json(member.key()).dump() + ": " + member.value().dump() + ",\n";
  }
  // The cells one row a line, as they lie on the screen.
  if (project.cells) {
    const Json rows = CellText(*project.cells);
    text += "  \"cells\": [";
    for (std::size_t i = 0; i < rows.size(); ++i)
      text += (i ? ",\n    " : "\n    ") + rows[i].dump();
    text += "\n  ],\n";
  }
  text += "  \"edits\": [";
  const Json runs = EditRuns(project.edits);
  for (std::size_t i = 0; i < runs.size(); ++i) {
    text += (i ? ",\n    " : "\n    ") + runs[i].dump();
  }
  return text + (runs.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

Project ParseProject(std::string_view text, const std::string& name) {
  if (text.size() > static_cast<std::size_t>(MaxProjectBytes)) {
    throw TooLarge(name, static_cast<long long>(text.size()));
  }
  Json json;
  try {
    json = ParseJson(text);
  } catch (const Json::exception& error) {
    Unusable(name, Text(Message::kJsonDamaged, error.what()));
  } catch (const NestedTooDeep&) {
    Unusable(name, Text(Message::kProjectNestsTooDeep, ProjectNesting));
  }
  if (!json.is_object()) Unusable(name, Text(Message::kNoJsonObject));
  const Reader top(json, name);
  const int version =
      top.Integer(top.Member("vantrel", Json::value_t::number_integer), "vantrel", 1, 1 << 30);
  if (version > ProjectVersion) {
    Unusable(name, Text(Message::kNewerProject, version));
  }
  Project project;
  const Json& photo = top.Member("photo", Json::value_t::object);
  const Reader photoReader(photo, name);
  project.photo = photoReader.Member("path", Json::value_t::string).get<std::string>();
  project.photoSha256 = photoReader.Member("sha256", Json::value_t::string).get<std::string>();
  if (project.photo.empty()) Unusable(name, Text(Message::kNoPhotoNamed));

  ConversionSettings& s = project.settings;
  const Json& scale = json.contains("scale") ? json["scale"] : Json();
  if (scale.is_string() && scale.get<std::string>() == "fit") {
    s.scale = {true, 100};
  } else {
    s.scale = {false, top.Integer(scale, "scale", 1, kMaxScalePercent)};
  }
  s.scaleGiven = true;
  const std::vector<int> crop = top.Integers("crop", 2, 0, 1 << 30);
  s.crop = {crop[0], crop[1]};
  const std::vector<int> offsets = top.Integers("offsets", 3, -MaxChannelOffset, MaxChannelOffset);
  s.adjustment.red = offsets[0];
  s.adjustment.green = offsets[1];
  s.adjustment.blue = offsets[2];
  project.roles = ReadRoles(top, "colours");
  project.dithering = top.Named<Dithering>("dither", DitheringNames);
  const auto conversion = json.find("conversion");
  if (conversion == json.end()) Unusable(name, Text(Message::kMemberMissing, "conversion"));
  project.converted = !conversion->is_null();
  if (project.converted) {
    if (!conversion->is_object()) Unusable(name, Text(Message::kMemberNotObject, "conversion"));
    const Reader made(*conversion, name);
    s.roles = ReadRoles(made, "colours");
    s.adjustment.dithering = made.Named<Dithering>("dither", DitheringNames);
    if (version >= 2) s.cells = ReadCells(*conversion, name);
    if (version >= 3) s.model = ReadModel(*conversion, made);
  }
  if (version >= 2) project.cells = ReadCells(json, name);
  if (version >= 3) project.model = ReadModel(json, top);
  if (!project.converted) {
    s.roles = project.roles;
    s.adjustment.dithering = project.dithering;
    s.cells = project.cells;
    s.model = project.model;
  }
  project.machine = top.Named<Machine>("machine", MachineNames());

  for (const Json& run : top.Member("edits", Json::value_t::array)) {
    if (!run.is_array() || run.size() != 4) Unusable(name, Text(Message::kEditNotARun));
    const int x = top.Integer(run[0], "edits", 0, WindowWidth - 1);
    const int y = top.Integer(run[1], "edits", 0, WindowHeight - 1);
    const int code = top.Integer(run[2], "edits", 1, 9);
    const int count = top.Integer(run[3], "edits", 1, WindowWidth - x);
    std::fill_n(project.edits.codes.begin() + y * WindowWidth + x, count,
                static_cast<std::uint8_t>(code));
  }
  return project;
}

std::string ReadProjectFile(const std::string& fileName) {
  const std::vector<std::uint8_t> bytes = ReadRegularFile(
      fileName, MaxProjectBytes, [&fileName](long long size) { return TooLarge(fileName, size); });
  return std::string(bytes.begin(), bytes.end());
}

bool NamedAsProject(std::string_view fileName) {
  const auto endsWith = [&](std::string_view extension) {
    return fileName.size() >= extension.size() &&
           std::equal(
               extension.begin(), extension.end(), fileName.end() - extension.size(),
               [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
  };
  return endsWith(".vantrel") || endsWith(".json");
}

bool LooksLikeProject(std::span<const std::uint8_t> bytes) {
  const auto start = std::find_if(bytes.begin(), bytes.end(), [](std::uint8_t b) {
    return b != ' ' && b != '\t' && b != '\n' && b != '\r';
  });
  if (start == bytes.end() || *start != '{') return false;
  const std::string_view head(reinterpret_cast<const char*>(&*start),
                              std::min<std::size_t>(bytes.end() - start, 64));
  return head.find("\"vantrel\"") != std::string_view::npos;
}

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
  sha256_ctx context;
  sha256_init(&context);
  sha256_update(&context, bytes.size(), bytes.data());
  std::uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&context, sizeof digest, digest);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const std::uint8_t byte : digest) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 0x0F];
  }
  return hex;
}

}  // namespace vantrel
