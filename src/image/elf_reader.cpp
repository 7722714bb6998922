#include "image/elf_reader.h"

#include <gelf.h>
#include <libelf.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/image_buffer.h"

namespace {

constexpr std::uint64_t kImageSize = ImageBuffer::kSize;
constexpr std::uint32_t kPage = 128;

// One PT_LOAD segment that carries bytes from the file.
struct Segment {
    std::size_t index;  // in the program header table, as readelf numbers it
    std::uint64_t address;
    std::uint64_t offset;
    std::uint64_t size;
};

// libelf only ever reads the bytes it is given here: the handle asks for no
// section data and updates nothing, so the const bytes stay untouched.
class ElfHandle {
public:
    ElfHandle(const std::uint8_t* bytes, std::size_t length)
        : elf_(elf_memory(const_cast<char*>(reinterpret_cast<const char*>(bytes)), length)) {}
    ~ElfHandle() { elf_end(elf_); }
    ElfHandle(const ElfHandle&) = delete;
    ElfHandle& operator=(const ElfHandle&) = delete;
    Elf* get() const { return elf_; }

private:
    Elf* elf_;
};

bool LibelfReady() {
    static const bool ready = elf_version(EV_CURRENT) != EV_NONE;
    return ready;
}

QString Hex(std::uint64_t value) { return QString::asprintf("%06llX", static_cast<unsigned long long>(value)); }

// Whether [offset, offset + size) lies inside a file of length bytes.
bool InFile(std::uint64_t offset, std::uint64_t size, std::size_t length) {
    return offset <= length && size <= length - offset;
}

ImportResult Fault(const QString& text) { return ImportResult::Failed(text); }

class ElfLoader {
public:
    ElfLoader(const std::uint8_t* bytes, std::size_t length) : bytes_(bytes), length_(length) {}

    ImportResult Run(std::uint8_t* image, const std::atomic<bool>* stop);

private:
    QString CheckIdent() const;
    QString CheckTables(Elf* elf, const GElf_Ehdr& header) const;
    QString CollectSegments(Elf* elf, std::size_t count);
    QString CheckOverlaps() const;

    const std::uint8_t* bytes_;
    std::size_t length_;
    std::vector<Segment> segments_;
};

// What libelf cannot be asked without handing it a file it may read past.
QString ElfLoader::CheckIdent() const {
    if (length_ < EI_NIDENT || std::memcmp(bytes_, ELFMAG, SELFMAG) != 0) return "not an ELF file";
    const int elfClass = bytes_[EI_CLASS];
    if (elfClass != ELFCLASS32 && elfClass != ELFCLASS64)
        return QString::asprintf("ELF class %d is neither 32- nor 64-bit", elfClass);
    if (bytes_[EI_DATA] != ELFDATA2LSB && bytes_[EI_DATA] != ELFDATA2MSB)
        return QString::asprintf("ELF byte order %d is neither little- nor big-endian", bytes_[EI_DATA]);
    const std::size_t headerSize = elfClass == ELFCLASS32 ? sizeof(Elf32_Ehdr) : sizeof(Elf64_Ehdr);
    if (length_ < headerSize)
        return QString("the file ends inside its ELF header (%1 of %2 bytes): a truncated ELF")
            .arg(length_)
            .arg(headerSize);
    return {};
}

// libelf quietly counts the headers that do not fit in the file as absent; a
// file cut short must be refused instead, not loaded with what is left.
QString ElfLoader::CheckTables(Elf* elf, const GElf_Ehdr& header) const {
    std::size_t programHeaders = header.e_phnum;
    if (header.e_phnum == PN_XNUM && elf_getphdrnum(elf, &programHeaders) != 0)
        return QString("the program header count cannot be read: %1").arg(elf_errmsg(-1));
    if (programHeaders > 0) {
        if (header.e_phentsize != gelf_fsize(elf, ELF_T_PHDR, 1, EV_CURRENT))
            return QString::asprintf("program headers of %u bytes are not ELF program headers",
                                     unsigned(header.e_phentsize));
        if (!InFile(header.e_phoff, std::uint64_t(programHeaders) * header.e_phentsize, length_))
            return QString("the program headers (%1 at offset %2) run past the end of the file (%3 bytes)")
                .arg(programHeaders)
                .arg(Hex(header.e_phoff))
                .arg(length_);
    }
    if (header.e_shoff != 0) {
        const std::uint64_t sections = std::max<std::uint64_t>(header.e_shnum, 1);
        if (!InFile(header.e_shoff, sections * header.e_shentsize, length_))
            return QString("the file ends before its section headers at offset %1: a truncated ELF")
                .arg(Hex(header.e_shoff));
    }
    return {};
}

QString ElfLoader::CollectSegments(Elf* elf, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        GElf_Phdr p;
        if (!gelf_getphdr(elf, int(i), &p))
            return QString("program header %1 cannot be read: %2").arg(i).arg(elf_errmsg(-1));
        // What the loader would zero (a .bss tail) is not programmed: the
        // chip's erased state is the image's blank, not zero.
        if (p.p_type != PT_LOAD || p.p_filesz == 0) continue;
        if (!InFile(p.p_offset, p.p_filesz, length_))
            return QString("segment %1's data (%2 bytes at offset %3) runs past the end of the file (%4 bytes)")
                .arg(i)
                .arg(p.p_filesz)
                .arg(Hex(p.p_offset))
                .arg(length_);
        if (p.p_paddr >= kImageSize || p.p_filesz > kImageSize - p.p_paddr)
            return QString("segment %1 at address %2 (%3 bytes) lies outside the 4 MiB image")
                .arg(i)
                .arg(Hex(p.p_paddr))
                .arg(p.p_filesz);
        segments_.push_back({i, p.p_paddr, p.p_offset, p.p_filesz});
    }
    return {};
}

QString ElfLoader::CheckOverlaps() const {
    std::vector<Segment> byAddress = segments_;
    std::sort(byAddress.begin(), byAddress.end(),
              [](const Segment& a, const Segment& b) { return a.address < b.address; });
    for (std::size_t i = 1; i < byAddress.size(); ++i) {
        const Segment& low = byAddress[i - 1];
        const Segment& high = byAddress[i];
        if (high.address < low.address + low.size)
            return QString("segments %1 and %2 overlap at address %3")
                .arg(std::min(low.index, high.index))
                .arg(std::max(low.index, high.index))
                .arg(Hex(high.address));
    }
    return {};
}

ImportResult ElfLoader::Run(std::uint8_t* image, const std::atomic<bool>* stop) {
    if (const QString why = CheckIdent(); !why.isEmpty()) return Fault(why);
    if (!LibelfReady()) return ImportResult::Refused(QString("libelf: %1").arg(elf_errmsg(-1)));
    const ElfHandle elf(bytes_, length_);
    GElf_Ehdr header;
    if (!elf.get() || elf_kind(elf.get()) != ELF_K_ELF || !gelf_getehdr(elf.get(), &header))
        return Fault(QString("a damaged ELF file: %1").arg(elf_errmsg(-1)));
    if (const QString why = CheckTables(elf.get(), header); !why.isEmpty()) return Fault(why);
    std::size_t count = 0;
    if (elf_getphdrnum(elf.get(), &count) != 0)
        return Fault(QString("the program headers cannot be read: %1").arg(elf_errmsg(-1)));
    if (const QString why = CollectSegments(elf.get(), count); !why.isEmpty()) return Fault(why);
    if (segments_.empty()) return Fault("the ELF file holds no loadable data");
    if (const QString why = CheckOverlaps(); !why.isEmpty()) return Fault(why);

    // Nothing is stored until the whole file is known to be sound.
    std::uint64_t last = 0;
    for (const Segment& s : segments_) {
        if (stop && stop->load(std::memory_order_relaxed)) return ImportResult::Stopped();
        std::memcpy(image + s.address, bytes_ + s.offset, std::size_t(s.size));
        last = std::max(last, s.address + s.size - 1);
    }
    // Whole pages up to the last byte stored, as an Intel HEX load gives.
    ImportResult result = ImportResult::Loaded(std::uint32_t((last / kPage + 1) * kPage));
    result.format = ImageFormat::Elf;
    if (header.e_entry <= 0xFFFFFFFFu) {
        result.hasStart = true;
        result.start = std::uint32_t(header.e_entry);
    }
    return result;
}

}  // namespace

ImportResult ReadElf(const std::uint8_t* bytes, std::size_t length, std::uint8_t* image,
                     const std::atomic<bool>* stop) {
    if (stop && stop->load(std::memory_order_relaxed)) return ImportResult::Stopped();
    return ElfLoader(bytes, length).Run(image, stop);
}
