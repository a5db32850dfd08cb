#include "Report.h"

#include <charconv>

#include "BasicFn.h"
#include "OutputFileCl.h"
#include "PluginCommand.h"

namespace pallix {

namespace {

// The length of the valid UTF-8 sequence at text[at], 0 when there is none.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  char32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not text.
  constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kLeast[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

std::string Number(double value) {
  char buf[32];
  const auto end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 3).ptr;
  return std::string(buf, end);
}

std::string Number(std::uint64_t value) {
  char buf[24];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t length = Utf8Length(text, i);
      json += length > 0 ? text.substr(i, length) : "\\ufffd";
      i += length > 0 ? length : 1;
      continue;
    }
    if (c == '"' || c == '\\') {
      json += '\\';
      json += static_cast<char>(c);
    } else if (c == '\n') {
      json += "\\n";
    } else if (c == '\t') {
      json += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      static constexpr char kHex[] = "0123456789abcdef";
      json += "\\u00";
      json += kHex[c >> 4];
      json += kHex[c & 15];
    } else {
      json += static_cast<char>(c);
    }
    ++i;
  }
  return json + "\"";
}

std::string SceneJson(const SceneReport& scene) {
  const ExportOutcome& o = scene.Outcome;
  std::string json = "    {\n      \"input\": " + JsonString(scene.Input) +
                     ",\n      \"output\": " + JsonString(scene.Output) + ",\n      \"outcome\": " +
                     (scene.Ok ? "\"ok\"" : "\"failed\",\n      \"message\": " + JsonString(scene.Message));
  if (!scene.Ok && !scene.Reason.empty()) json += ",\n      \"reason\": " + JsonString(scene.Reason);
  json += ",\n      \"seconds\": " + Number(scene.Seconds) +
          ",\n      \"counts\": {\"submeshes\": " + Number(std::uint64_t{o.SubMeshes}) +
          ", \"vertices\": " + Number(std::uint64_t{o.Vertices}) +
          ", \"faces\": " + Number(std::uint64_t{o.Faces}) +
          ", \"materials\": " + Number(std::uint64_t{o.Materials}) +
          ", \"textures\": " + Number(std::uint64_t{o.TexturesWritten}) + "},\n      \"files\": [";
  const char* separator = "";
  for (const auto& file : o.FilesWritten) {
    json += std::string(separator) + "\n        {\"name\": " + JsonString(file.FileName) +
            ", \"size\": " + Number(file.Size) + "}";
    separator = ",";
  }
  json += std::string(o.FilesWritten.empty() ? "" : "\n      ") + "],\n      \"texturesNotCopied\": [";
  separator = "";
  for (const auto& texture : o.TexturesNotCopied) {
    json += std::string(separator) + "\n        {\"source\": " + JsonString(texture.Source) +
            ", \"target\": " + JsonString(texture.Target) + ", \"reason\": " + JsonString(texture.Reason) +
            "}";
    separator = ",";
  }
  json += std::string(o.TexturesNotCopied.empty() ? "" : "\n      ") + "]\n    }";
  return json;
}

void WriteReport(const std::string& fileName, int status, const std::vector<std::string>& sceneObjects) {
  TOutputFile file(fileName);
  file.Write("{\n  \"program\": \"pallix-export\",\n  \"version\": " + JsonString(kPluginVersion) +
             ",\n  \"status\": " + IntToStr(status) + ",\n  \"scenes\": [");
  const char* separator = "\n";
  for (const std::string& scene : sceneObjects) {
    file.Write(separator);
    file.Write(scene);
    separator = ",\n";
  }
  file.Write(sceneObjects.empty() ? "]\n}\n" : "\n  ]\n}\n");
  file.Commit();
}

}  // namespace pallix
