// nemora-cli inspect, pack and unpack: firmware and settings files (DfuSe containers).

#include "cli/cli.h"
#include "device/device_identity.h"
#include "dfuse/dfu_file.h"
#include "dfuse/hex_records.h"
#include "dfuse/transfer_job.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <set>

namespace nemora::cli {

namespace {

namespace fs = std::filesystem;
using dfuse::DfuFile;
using dfuse::Element;
using dfuse::Image;

} // namespace

int RunInspect(Args args)
{
    static constexpr std::array<OptionSpec, 1> kSpec = {{{"--json", false}}};
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand("inspect", args, kSpec,
                     "Usage: nemora-cli inspect FILE [--json]\n\n"
                     "Shows what a DfuSe file (.vek, .dfu) holds: the USB ids in its suffix with the product,\n"
                     "model and firmware version they stand for, whether its CRC is right, and its images\n"
                     "(alternate setting, name, elements with address and size).\n"
                     "A file whose CRC is wrong is still shown, with exit status 1.\n\n"
                     "  --json   one JSON object: vid, pid, bcd_device, crc_ok, product_name, model_name,\n"
                     "           firmware_version, images [{alternate, name, elements [{address, size}]}]\n",
                     exitCode);
    if (!parsed)
        return exitCode;
    std::string error;
    if (parsed->positionals.size() != 1)
        return UsageError("inspect", parsed->positionals.empty() ? "FILE is required" : "only one FILE is accepted");
    const std::string path = parsed->positionals.front();

    const dfuse::ParseResult result = dfuse::ReadDfuFile(path, false);
    if (!result.file) {
        std::string line = FileProblem(path, result.error);
        // A structure fault in a file whose CRC is also wrong is most likely damage in transit.
        if (dfuse::ReadDfuFile(path, true).error.code == dfuse::FileError::BadCrc)
            line += " (its CRC does not match either)";
        return Failure("inspect", line);
    }
    const DfuFile& file = *result.file;

    CDeviceIdentity identity;
    identity.SetIds(file.vid, file.pid, file.bcdDevice);
    const CatalogueNames names = NamesOf(identity);

    if (parsed->Has("--json")) {
        JsonWriter json(std::cout);
        json.BeginObject()
            .Key("vid")
            .Int(file.vid)
            .Key("pid")
            .Int(file.pid)
            .Key("bcd_device")
            .Int(file.bcdDevice)
            .Key("crc_ok")
            .Bool(result.crcOk);
        WriteNames(json, names).Key("images").BeginArray();
        for (const Image& image : file.images) {
            json.BeginObject()
                .Key("alternate")
                .Int(image.alternate)
                .Key("name")
                .String(Latin1ToUtf8(image.name))
                .Key("elements")
                .BeginArray();
            for (const Element& e : image.elements)
                json.BeginObject()
                    .Key("address")
                    .Int(e.address)
                    .Key("size")
                    .Int(static_cast<long long>(e.data.size()))
                    .EndObject();
            json.EndArray().EndObject();
        }
        json.EndArray().EndObject();
        std::cout << '\n';
    } else {
        std::cout << "File: " << path << '\n'
                  << "Identity: VID " << Hex(file.vid, 4) << ", PID " << Hex(file.pid, 4) << ", bcdDevice "
                  << Hex(file.bcdDevice, 4) << '\n'
                  << "Product: " << names.product << '\n'
                  << "Model: " << names.model << '\n'
                  << "Firmware version: " << names.firmware << '\n'
                  << "CRC: " << (result.crcOk ? "ok" : "WRONG") << '\n'
                  << "Images: " << file.images.size() << '\n';
        for (std::size_t i = 0; i < file.images.size(); ++i) {
            const Image& image = file.images[i];
            std::cout << "  Image " << i << ": alternate " << int{image.alternate} << ", name \""
                      << PrintableText(image.name) << "\", " << image.elements.size()
                      << (image.elements.size() == 1 ? " element, " : " elements, ") << image.DataSize() << " bytes\n";
            for (const Element& e : image.elements)
                std::cout << "    " << Hex(e.address, 8) << "  " << e.data.size() << " bytes\n";
        }
    }
    if (!result.crcOk)
        return Failure("inspect", path + ": CRC mismatch: the file is damaged");
    if (const auto overlap = dfuse::FindOverlap(file.images))
        return Failure("inspect", path + ": overlapping data, no device can take this file: " +
                                      dfuse::DescribeOverlap(file.images, *overlap));
    return kExitOk;
}

namespace {

struct ElementSpec {
    std::uint8_t alternate = 0;
    std::string name;
    std::optional<std::uint32_t> address;
    std::string file;
};

// ALT:NAME:ADDRESS:FILE; the name cannot hold a colon, the file name can.
std::optional<ElementSpec> ParseElementSpec(const std::string& text, std::string& error)
{
    const std::size_t c1 = text.find(':');
    const std::size_t c2 = c1 == std::string::npos ? c1 : text.find(':', c1 + 1);
    const std::size_t c3 = c2 == std::string::npos ? c2 : text.find(':', c2 + 1);
    if (c3 == std::string::npos) {
        error = "--element needs ALT:NAME:ADDRESS:FILE, not '" + text + "'";
        return std::nullopt;
    }
    ElementSpec spec;
    const auto alt = ParseNumber(std::string_view(text).substr(0, c1), 0xFF);
    if (!alt) {
        error = "--element '" + text + "': the alternate setting must be a number from 0 to 255";
        return std::nullopt;
    }
    spec.alternate = static_cast<std::uint8_t>(*alt);
    spec.name = text.substr(c1 + 1, c2 - c1 - 1);
    if (spec.name.size() > dfuse::kMaxImageNameLength) {
        error = "--element '" + text + "': the image name is longer than 254 bytes";
        return std::nullopt;
    }
    const std::string address = text.substr(c2 + 1, c3 - c2 - 1);
    if (!address.empty()) {
        const auto value = ParseNumber(address, 0xFFFFFFFF);
        if (!value) {
            error = "--element '" + text + "': the address must be a 32-bit number";
            return std::nullopt;
        }
        spec.address = static_cast<std::uint32_t>(*value);
    }
    spec.file = text.substr(c3 + 1);
    if (spec.file.empty()) {
        error = "--element '" + text + "': FILE is missing";
        return std::nullopt;
    }
    return spec;
}

enum class InputKind { Binary, IntelHex, SRecords };

InputKind KindOf(const std::string& path)
{
    std::string ext = fs::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".hex" || ext == ".ihex" || ext == ".ihx")
        return InputKind::IntelHex;
    if (ext == ".s19" || ext == ".srec" || ext == ".s28" || ext == ".s37" || ext == ".mot")
        return InputKind::SRecords;
    return InputKind::Binary;
}

// Reads a whole input file, refusing one larger than any container may be.
bool ReadInput(const std::string& path, std::string& bytes, std::string& error)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        error = path + ": cannot read the file (missing or not a regular file)";
        return false;
    }
    const auto size = fs::file_size(path, ec);
    if (ec || size > dfuse::kMaxFileSize) {
        error = path + (ec ? ": cannot read the file" : ": file too large");
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    bytes.assign(static_cast<std::size_t>(size), '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(size))) {
        error = path + ": cannot read the file";
        return false;
    }
    return true;
}

} // namespace

int RunPack(Args args)
{
    static constexpr std::array<OptionSpec, 5> kSpec = {
        {{"-o", true}, {"--vid", true}, {"--pid", true}, {"--bcd", true}, {"--element", true, true}}};
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand("pack", args, kSpec,
                     "Usage: nemora-cli pack -o OUT --vid V --pid P --bcd B --element ALT:NAME:ADDRESS:FILE ...\n\n"
                     "Builds a DfuSe file. Elements with the same ALT and NAME form one image, in the order\n"
                     "given; images follow the order in which they first appear.\n\n"
                     "  -o OUT         the file to write (replaced only once it is complete)\n"
                     "  --vid V        idVendor for the suffix\n"
                     "  --pid P        idProduct for the suffix\n"
                     "  --bcd B        bcdDevice for the suffix (model id and firmware version)\n"
                     "  --element S    ALT:NAME:ADDRESS:FILE, repeatable. ALT is the alternate setting (0-255),\n"
                     "                 NAME the image name (no colon; may be empty), ADDRESS where FILE's bytes\n"
                     "                 go. FILE is a raw binary, or an Intel HEX (.hex) or Motorola S-record\n"
                     "                 (.s19, .srec) file, whose own addresses are used and ADDRESS is ignored.\n",
                     exitCode);
    if (!parsed)
        return exitCode;
    std::string error;
    if (!parsed->positionals.empty())
        return UsageError("pack", "unexpected argument '" + parsed->positionals.front() + "'");
    const auto out = parsed->Value("-o");
    if (!out)
        return UsageError("pack", "-o OUT is required");
    std::uint16_t ids[3] = {};
    const char* idNames[3] = {"--vid", "--pid", "--bcd"};
    for (int i = 0; i < 3; ++i) {
        const auto text = parsed->Value(idNames[i]);
        if (!text)
            return UsageError("pack", std::string(idNames[i]) + " is required");
        const auto value = ParseNumber(*text, 0xFFFF);
        if (!value)
            return UsageError("pack",
                              std::string(idNames[i]) + " needs a number from 0 to 0xFFFF, not '" + *text + "'");
        ids[i] = static_cast<std::uint16_t>(*value);
    }
    const std::vector<std::string> specs = parsed->Values("--element");
    if (specs.empty())
        return UsageError("pack", "at least one --element is required");

    std::vector<ElementSpec> elements;
    for (const std::string& text : specs) {
        auto spec = ParseElementSpec(text, error);
        if (!spec)
            return UsageError("pack", error);
        if (KindOf(spec->file) == InputKind::Binary && !spec->address)
            return UsageError("pack", "--element '" + text + "': a raw binary needs an ADDRESS");
        elements.push_back(std::move(*spec));
    }

    DfuFile file{ids[0], ids[1], ids[2], {}};
    for (const ElementSpec& spec : elements) {
        std::string bytes;
        if (!ReadInput(spec.file, bytes, error))
            return Failure("pack", error);
        std::vector<Element> parts;
        const InputKind kind = KindOf(spec.file);
        if (kind == InputKind::Binary) {
            if (bytes.empty())
                return Failure("pack", spec.file + ": the file is empty");
            if (std::uint64_t{*spec.address} + bytes.size() > 0x100000000ull)
                return Failure("pack", spec.file + ": the data runs past the 32-bit address space");
            parts.push_back(Element{*spec.address, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
        } else {
            const dfuse::RecordsResult records =
                kind == InputKind::IntelHex ? dfuse::ParseIntelHex(bytes) : dfuse::ParseSRecords(bytes);
            if (!records.ok)
                return Failure("pack", spec.file + ": " + records.message);
            if (records.elements.empty())
                return Failure("pack", spec.file + ": the file holds no data");
            parts = records.elements;
        }
        auto image = std::find_if(file.images.begin(), file.images.end(),
                                  [&](const Image& i) { return i.alternate == spec.alternate && i.name == spec.name; });
        if (image == file.images.end()) {
            if (file.images.size() == dfuse::kMaxImages)
                return Failure("pack", "more than 255 images");
            file.images.push_back(Image{spec.alternate, spec.name, {}});
            image = file.images.end() - 1;
        }
        for (Element& part : parts) {
            for (const Element& other : image->elements) {
                if (part.address < other.End() && other.address < part.End())
                    return Failure("pack", spec.file + ": data at " + Hex(part.address, 8) + " overlaps data at " +
                                               Hex(other.address, 8) + " already in image " +
                                               std::to_string(image->alternate) + " \"" + image->name + "\"");
            }
            image->elements.push_back(std::move(part));
        }
    }

    std::vector<std::uint8_t> bytes;
    if (dfuse::Error e = dfuse::SerializeDfuFile(file, bytes))
        return Failure("pack", FileProblem(*out, e));
    if (dfuse::Error e = dfuse::WriteFileAtomically(*out, bytes))
        return Failure("pack", FileProblem(*out, e));
    std::size_t elementCount = 0;
    for (const Image& image : file.images)
        elementCount += image.elements.size();
    std::cerr << *out << ": " << file.images.size() << (file.images.size() == 1 ? " image, " : " images, ")
              << elementCount << (elementCount == 1 ? " element, " : " elements, ") << bytes.size() << " bytes\n";
    return kExitOk;
}

namespace {

// Letters, digits, '.', '-' and '_' stay; every other byte becomes '_' (so "Internal Flash  " gives
// "Internal_Flash__" and no name can reach outside the folder).
std::string SafeName(std::string_view name)
{
    if (name.empty())
        return "unnamed";
    std::string out;
    for (char c : name) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                          c == '-' || c == '_';
        out += keep ? c : '_';
    }
    return out;
}

} // namespace

int RunUnpack(Args args)
{
    static constexpr std::array<OptionSpec, 1> kSpec = {{{"-o", true}}};
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand("unpack", args, kSpec,
                     "Usage: nemora-cli unpack FILE -o DIR\n\n"
                     "Writes every element of a DfuSe file as a raw binary into DIR (made if missing), named\n"
                     "ALT_NAME_ADDRESS.bin: the alternate setting as two digits, the image name with every\n"
                     "character other than letters, digits, '.', '-' and '_' replaced by '_' (\"unnamed\" when\n"
                     "empty) and the address as eight hexadecimal digits, e.g. 00_Internal_Flash___08000000.bin.\n"
                     "A second element with the same name gets \"-2\", \"-3\"... before \".bin\".\n"
                     "Prints the path of every file written. A file with a wrong CRC is refused.\n\n"
                     "  -o DIR   the folder to write into\n",
                     exitCode);
    if (!parsed)
        return exitCode;
    std::string error;
    if (parsed->positionals.size() != 1)
        return UsageError("unpack", parsed->positionals.empty() ? "FILE is required" : "only one FILE is accepted");
    const auto dir = parsed->Value("-o");
    if (!dir)
        return UsageError("unpack", "-o DIR is required");
    const std::string path = parsed->positionals.front();

    const dfuse::ParseResult result = dfuse::ReadDfuFile(path);
    if (!result.file)
        return Failure("unpack", FileProblem(path, result.error));
    std::error_code ec;
    fs::create_directories(*dir, ec);
    if (!fs::is_directory(*dir, ec))
        return Failure("unpack", *dir + ": cannot create the folder");

    std::set<std::string> used;
    for (const Image& image : result.file->images) {
        for (const Element& e : image.elements) {
            char stem[300];
            std::snprintf(stem, sizeof stem, "%02u_%s_%08X", static_cast<unsigned>(image.alternate),
                          SafeName(image.name).c_str(), e.address);
            std::string name = std::string(stem) + ".bin";
            for (int n = 2; used.count(name); ++n)
                name = std::string(stem) + "-" + std::to_string(n) + ".bin";
            used.insert(name);
            const fs::path target = fs::path(*dir) / name;
            if (dfuse::Error err = dfuse::WriteFileAtomically(target, e.data))
                return Failure("unpack", FileProblem(target.string(), err));
            std::cout << target.string() << '\n';
        }
    }
    return kExitOk;
}

} // namespace nemora::cli
