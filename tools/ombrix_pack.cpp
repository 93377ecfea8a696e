// ombrix-pack: the publisher's side. Turns a folder of files into what content
// nodes and the manifest host serve, and writes node lists.
#include <fcntl.h>
#include <unistd.h>

#include <boost/property_tree/ptree.hpp>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/crc32.h"
#include "common/ed25519.h"
#include "common/sha256.h"
#include "manifest/file_manifest.h"
#include "manifest/manifest_document.h"
#include "manifest/manifest_exceptions.h"
#include "manifest/manifest_signature.h"
#include "manifest/node_list_manifest.h"
#include "manifest/package_manifest.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "Usage:\n"
    "  ombrix-pack package --partner ID --package ID --version ID --from FOLDER --out WWW\n"
    "                      [--name TEXT] [--run PATH] [--chunk-size BYTES]\n"
    "                      [--whitelist CC,CC... | --blacklist CC,CC...] [--inactive] [--no-current]\n"
    "                      [--sign KEY [--serial N]]\n"
    "  ombrix-pack nodes --partner ID --out WWW NODE[=WEIGHT]...\n"
    "  ombrix-pack keygen --out FOLDER [--name NAME]\n"
    "\n"
    "package  Publishes every file below FOLDER as version ID of the package:\n"
    "         WWW/PARTNER/PACKAGE/VERSION/<path>    the content nodes serve (byte ranges)\n"
    "         WWW/manifests/PACKAGE/VERSION.xml     the package manifest of that version\n"
    "         WWW/manifests/PACKAGE/current.xml     the same, as the current version\n"
    "                                               (not with --no-current)\n"
    "         --name       the package's display name (default: the package id)\n"
    "         --run        the file the updater launches, a path below FOLDER\n"
    "         --chunk-size bytes per checked chunk (default 1048576)\n"
    "         --whitelist  the only countries offered the version (two-letter codes)\n"
    "         --blacklist  countries not offered the version\n"
    "         --inactive   publish the version switched off\n"
    "         --sign       also writes the signature document of each manifest\n"
    "                      (<manifest>.sig), signed with the private key file KEY\n"
    "         --serial     the publication's serial; a client refuses a current version\n"
    "                      whose serial is below one it has seen (default: the time\n"
    "                      in seconds since 1970, which grows with every publication)\n"
    "nodes    Writes WWW/nodes/PARTNER.xml, the content nodes of the partner's packages.\n"
    "         NODE is host[:port][/path/] (path default /, where WWW is served), WEIGHT\n"
    "         its share of the requests (default 1).\n"
    "keygen   Writes a signing key pair: FOLDER/NAME.key (private, mode 0600; keep it\n"
    "         secret) and FOLDER/NAME.pub (public), NAME default \"ombrix-signing\".\n"
    "         Prints the public key as a build takes it (-DOMBRIX_TRUST_KEY=...); a\n"
    "         client also takes the .pub file from OMBRIX_TRUST_KEY_FILE. An existing\n"
    "         key is never replaced.\n"
    "\n"
    "Every document is read back with the service's own readers before anything is\n"
    "written; on any refusal (a path that escapes or holds control characters, a file\n"
    "with too many chunks, a bad country code...) nothing is written and the exit\n"
    "status is 1. Bad arguments give status 2. WWW can be served by any static web\n"
    "server that answers Range requests.\n";

class Refusal : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Usage : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string XmlText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

bool IsValidUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (int k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    }
    i += length;
  }
  return true;
}

// An identifier becomes a folder name and a URL segment: letters, digits, "-", "_", ".".
void CheckIdentifier(const char* what, const std::string& id) {
  if (id.empty() || id == "." || id == ".." || id.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.") != std::string::npos) {
    throw Refusal(std::string(what) + " \"" + id + "\" must be letters, digits, '-', '_' or '.'");
  }
}

// A file's path as the manifest names it: "/"-separated, relative, nothing that a
// reader would refuse or map elsewhere.
void CheckPath(const std::string& path) {
  if (!IsValidUtf8(path)) throw Refusal("\"" + path + "\" is not UTF-8");
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) throw Refusal("\"" + path + "\" holds a control character");
    if (c == '\\') throw Refusal("\"" + path + "\" holds a backslash, which downloads as a folder separator");
  }
  if (path != ombrix::ToLocalPath(path)) {
    throw Refusal("\"" + path + "\" is not a plain relative path");
  }
}

// The CRC-32 text of the manifest, and the SHA-256 of every chunk into `sha256`
// when given.
std::string ChunkChecksums(const fs::path& file, std::uint32_t chunkSize, std::vector<ombrix::Sha256Digest>* sha256) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw Refusal("cannot read " + file.string());
  std::vector<char> buffer(chunkSize);
  std::string hex;
  char text[9];
  while (in.read(buffer.data(), chunkSize) || in.gcount() > 0) {
    const auto size = static_cast<std::size_t>(in.gcount());
    std::snprintf(text, sizeof text, "%08x", ombrix::Crc32(buffer.data(), size));
    hex += text;
    if (sha256) sha256->push_back(ombrix::Sha256Of(std::string_view(buffer.data(), size)));
  }
  return hex;
}

std::string ReadTextFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  if (!in || !(text << in.rdbuf())) throw Refusal("cannot read " + path.string());
  return text.str();
}

// Reads the document back with the service's own reader: what it would refuse is
// not published.
template <class Record>
void ReadBack(const std::string& xml, Record& record, const char* refusal) {
  try {
    std::stringstream document(xml);
    boost::property_tree::ptree tree;
    ombrix::ReadXmlDocument(document, tree);
    record.Read(tree);
  } catch (const ombrix::ManifestParseException&) {
    throw Refusal(refusal);
  }
}

// Written beside the target and renamed over it: a reader sees the old or the new.
void WriteDocument(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  const fs::path temporary = path.string() + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + temporary.string());
  }
  fs::rename(temporary, path);
}

void CopyContent(const fs::path& from, const fs::path& to) {
  fs::create_directories(to.parent_path());
  std::error_code error;
  fs::remove(to, error);
  fs::create_hard_link(from, to, error);  // same file system: no copy needed
  if (error) fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

struct Arguments {
  std::string command;
  std::map<std::string, std::string> values;
  std::vector<std::string> flags;
  std::vector<std::string> positional;

  std::string Get(const std::string& key, const std::string& otherwise = "") const {
    const auto found = values.find(key);
    return found == values.end() ? otherwise : found->second;
  }
  std::string Need(const std::string& key) const {
    const std::string value = Get(key);
    if (value.empty()) throw Usage("--" + key + " is required");
    return value;
  }
  bool Has(const std::string& flag) const { return std::find(flags.begin(), flags.end(), flag) != flags.end(); }
};

Arguments Parse(int argc, char** argv, const std::vector<std::string>& valued, const std::vector<std::string>& flagged) {
  Arguments arguments;
  arguments.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.rfind("--", 0) != 0) {
      arguments.positional.push_back(word);
      continue;
    }
    const std::string key = word.substr(2);
    if (std::find(flagged.begin(), flagged.end(), key) != flagged.end()) {
      arguments.flags.push_back(key);
    } else if (std::find(valued.begin(), valued.end(), key) != valued.end()) {
      if (i + 1 >= argc) throw Usage(word + " needs a value");
      arguments.values[key] = argv[++i];
    } else {
      throw Usage("unknown option " + word);
    }
  }
  return arguments;
}

std::vector<std::string> Codes(const std::string& list) {
  std::vector<std::string> codes;
  std::stringstream in(list);
  for (std::string code; std::getline(in, code, ',');) {
    if (code.size() != 2) throw Refusal("country code \"" + code + "\" is not two characters");
    codes.push_back(code);
  }
  return codes;
}

int Package(const Arguments& a) {
  const std::string partner = a.Need("partner"), package = a.Need("package"), version = a.Need("version");
  const fs::path from = a.Need("from"), out = a.Need("out");
  CheckIdentifier("partner", partner);
  CheckIdentifier("package", package);
  CheckIdentifier("version", version);
  if (version == "current") throw Refusal("version \"current\" would replace the current-version document");
  const unsigned long long chunkSize = std::stoull(a.Get("chunk-size", "1048576"));
  if (chunkSize == 0 || chunkSize > 0xFFFFFFFFull) throw Usage("--chunk-size must be 1 to 4294967295");
  if (!fs::is_directory(from)) throw Refusal(from.string() + " is not a folder");
  if (!a.Get("whitelist").empty() && !a.Get("blacklist").empty()) throw Usage("--whitelist and --blacklist exclude each other");
  if (!a.Get("serial").empty() && a.Get("sign").empty()) throw Usage("--serial needs --sign");
  std::optional<ombrix::Ed25519PrivateKey> key;
  if (!a.Get("sign").empty()) {
    try {
      key = ombrix::Ed25519PrivateKey::FromPem(ReadTextFile(a.Get("sign")));
    } catch (const ombrix::KeyFormatException& e) {
      throw Refusal(a.Get("sign") + ": " + e.what());
    }
  }
  ombrix::Publication publication{package, version, 0, {}, {}};
  const std::string serial = a.Get("serial");
  if (serial.empty()) {
    publication.serial = static_cast<std::uint64_t>(std::time(nullptr));
  } else {
    const auto parsed = ombrix::ParseUnsigned(serial, UINT64_MAX);
    if (!parsed || serial.find_first_not_of("0123456789") != std::string::npos) throw Usage("--serial must be a number");
    publication.serial = *parsed;
  }

  // Everything is checked before anything is written.
  std::vector<std::pair<std::string, fs::path>> files;
  for (auto it = fs::recursive_directory_iterator(from); it != fs::recursive_directory_iterator(); ++it) {
    const std::string path = fs::relative(it->path(), from).generic_string();
    if (it->is_symlink()) throw Refusal("\"" + path + "\" is a symbolic link; publish the file itself");
    if (it->is_directory()) continue;
    if (!it->is_regular_file()) throw Refusal("\"" + path + "\" is not a regular file");
    CheckPath(path);
    if ((it->file_size() + chunkSize - 1) / chunkSize > ombrix::kMaxChunkCount) {
      throw Refusal("\"" + path + "\" needs more than " + std::to_string(ombrix::kMaxChunkCount) +
                    " chunks; use a larger --chunk-size");
    }
    files.emplace_back(path, it->path());
  }
  std::sort(files.begin(), files.end());
  const std::string run = a.Get("run");
  if (!run.empty() && std::none_of(files.begin(), files.end(), [&](const auto& f) { return f.first == run; })) {
    throw Refusal("--run \"" + run + "\" is not a file below " + from.string());
  }

  std::string xml = "<package><id>" + XmlText(package) + "</id><name>" + XmlText(a.Get("name", package)) +
                    "</name><partnerId>" + XmlText(partner) + "</partnerId><versionId>" + XmlText(version) +
                    "</versionId><run>" + XmlText(run) + "</run>";
  if (a.Has("inactive")) xml += "<isActive>false</isActive>";
  const std::string policy = !a.Get("whitelist").empty() ? "Whitelist" : !a.Get("blacklist").empty() ? "Blacklist" : "";
  if (!policy.empty()) {
    xml += "<version><id>" + XmlText(version) + "</id><run>" + XmlText(run) + "</run><policy>" + policy +
           "</policy><countryCodes>";
    for (const std::string& code : Codes(a.Get(policy == "Whitelist" ? "whitelist" : "blacklist"))) {
      xml += "<countryCode>" + XmlText(code) + "</countryCode>";
    }
    xml += "</countryCodes></version>";
  }
  xml += "<files>";
  for (const auto& [path, source] : files) {
    xml += "<file><path>" + XmlText(path) + "</path><chunksize>" + std::to_string(chunkSize) + "</chunksize><size>" +
           std::to_string(fs::file_size(source)) + "</size><checksums>" +
           ChunkChecksums(source, static_cast<std::uint32_t>(chunkSize),
                          key ? &publication.files.emplace_back(ombrix::SignedFile{path, {}}).chunks : nullptr) +
           "</checksums></file>";
  }
  xml += "</files></package>\n";

  ombrix::StandardPackageManifest manifest;
  ReadBack(xml, manifest, "the package manifest would not be accepted by the service");

  std::string signature;
  if (key) {
    publication.manifestSha256 = ombrix::Sha256Of(xml);
    signature = ombrix::WriteSignatureDocument(publication, *key);
  }

  const fs::path content = out / partner / package / version;
  for (const auto& [path, source] : files) CopyContent(source, content / path);
  // A signature document left from an earlier publication would not match.
  const auto publish = [&](const fs::path& manifest) {
    const fs::path sig = manifest.string() + ".sig";
    if (key) {
      WriteDocument(sig, signature);
    } else {
      fs::remove(sig);
    }
    WriteDocument(manifest, xml);
  };
  publish(out / "manifests" / package / (version + ".xml"));
  if (!a.Has("no-current")) publish(out / "manifests" / package / "current.xml");
  std::cout << "ombrix-pack: " << partner << "/" << package << " version " << version << ": " << files.size()
            << " files into " << content.string();
  if (key) std::cout << ", signed (serial " << publication.serial << ")";
  std::cout << "\n";
  return 0;
}

int Keygen(const Arguments& a) {
  const fs::path out = a.Need("out");
  const std::string name = a.Get("name", "ombrix-signing");
  CheckIdentifier("name", name);
  const fs::path privatePath = out / (name + ".key"), publicPath = out / (name + ".pub");
  for (const fs::path& path : {privatePath, publicPath}) {
    if (fs::exists(fs::symlink_status(path))) throw Refusal(path.string() + " exists; a key is never replaced");
  }
  const auto key = ombrix::Ed25519PrivateKey::Generate();
  fs::create_directories(out);
  {
    // Created 0600 with O_EXCL: the secret is never readable by others, not even briefly.
    const std::string pem = key.Pem();
    const int fd = ::open(privatePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) throw Refusal("cannot create " + privatePath.string());
    const bool written = ::write(fd, pem.data(), pem.size()) == static_cast<ssize_t>(pem.size()) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written) {
      fs::remove(privatePath);
      throw std::runtime_error("cannot write " + privatePath.string());
    }
  }
  WriteDocument(publicPath, key.PublicKey().Pem());
  std::cout << "ombrix-pack: private key " << privatePath.string() << " (keep it secret), public key "
            << publicPath.string() << "\n"
            << "OMBRIX_TRUST_KEY=" << key.PublicKey().Base64() << "\n";
  return 0;
}

int Nodes(const Arguments& a) {
  const std::string partner = a.Need("partner");
  const fs::path out = a.Need("out");
  CheckIdentifier("partner", partner);
  if (a.positional.empty()) throw Usage("name at least one NODE");
  std::string xml = "<ArrayOfNodeInfo>";
  int n = 0;
  for (const std::string& spec : a.positional) {
    const std::size_t equals = spec.rfind('=');
    std::string node = spec.substr(0, equals);
    const std::string weight = equals == std::string::npos ? "1" : spec.substr(equals + 1);
    if (weight.empty() || weight.find_first_not_of("0123456789") != std::string::npos || weight.size() > 9) {
      throw Refusal("weight of \"" + spec + "\" is not a number");
    }
    for (const char* scheme : {"http://", "https://"}) {
      if (node.rfind(scheme, 0) == 0) node = node.substr(std::strlen(scheme));
    }
    const std::size_t slash = node.find('/');
    const std::string host = node.substr(0, slash);
    const std::string path = slash == std::string::npos ? "/" : node.substr(slash);
    if (host.empty() || host.find_first_of(" \t\r\n<>&\"'") != std::string::npos) {
      throw Refusal("\"" + spec + "\" has no usable host");
    }
    xml += "<NodeInfo><NodeId>n" + std::to_string(++n) + "</NodeId><Host>" + XmlText(host) + "</Host><Path>" +
           XmlText(path) + "</Path><Weight>" + weight + "</Weight></NodeInfo>";
  }
  xml += "</ArrayOfNodeInfo>\n";
  ombrix::StandardNodeListManifest nodeList;
  ReadBack(xml, nodeList, "the node list would not be accepted by the service (every weight 0?)");
  WriteDocument(out / "nodes" / (partner + ".xml"), xml);
  std::cout << "ombrix-pack: " << n << " nodes for " << partner << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    (argc < 2 ? std::cerr : std::cout) << kUsage;
    return argc < 2 ? 2 : 0;
  }
  try {
    const std::string command = argv[1];
    for (int i = 2; i < argc; ++i) {
      if (std::strcmp(argv[i], "--help") == 0) {
        std::cout << kUsage;
        return 0;
      }
    }
    if (command == "package") {
      return Package(Parse(argc, argv, {"partner", "package", "version", "from", "out", "name", "run", "chunk-size",
                                        "whitelist", "blacklist", "sign", "serial"},
                           {"inactive", "no-current"}));
    }
    if (command == "nodes") return Nodes(Parse(argc, argv, {"partner", "out"}, {}));
    if (command == "keygen") return Keygen(Parse(argc, argv, {"out", "name"}, {}));
    throw Usage("unknown command \"" + command + "\" (package, nodes or keygen)");
  } catch (const Usage& e) {
    std::cerr << "ombrix-pack: " << e.what() << " (see ombrix-pack --help)\n";
    return 2;
  } catch (const Refusal& e) {
    std::cerr << "ombrix-pack: refused: " << e.what() << "; nothing was written\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "ombrix-pack: " << e.what() << "\n";
    return 1;
  }
}
