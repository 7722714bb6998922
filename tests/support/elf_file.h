#pragma once

#include <elf.h>

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// ELF files made byte by byte, in either class and byte order, for the
// shapes no linker at hand writes: big-endian files, segments that overlap
// or lie outside the image, headers that point past the file.
struct ElfSegment {
    std::uint32_t type = PT_LOAD;
    std::uint64_t offset = 0;  // in the file
    std::uint64_t address = 0;  // physical; the virtual address is set apart from it
    std::uint64_t fileSize = 0;
    std::uint64_t memSize = 0;  // fileSize when 0
};

class ElfFile {
public:
    ElfFile(bool is64, bool bigEndian) : is64_(is64), big_(bigEndian) {}

    std::size_t headerSize() const { return is64_ ? sizeof(Elf64_Ehdr) : sizeof(Elf32_Ehdr); }
    std::size_t programHeaderSize() const { return is64_ ? sizeof(Elf64_Phdr) : sizeof(Elf32_Phdr); }
    // Where the bytes after the header and n program headers begin.
    std::size_t DataStart(std::size_t n) const { return headerSize() + n * programHeaderSize(); }

    // The header, the program headers right after it, then data; phoff moves
    // the table's offset in the header (the table itself stays in place).
    QByteArray Make(const std::vector<ElfSegment>& segments, const QByteArray& data, std::uint64_t entry,
                    std::uint64_t phoff = 0) const {
        QByteArray out(qsizetype(DataStart(segments.size())), '\0');
        std::memcpy(out.data(), ELFMAG, SELFMAG);
        out[EI_CLASS] = char(is64_ ? ELFCLASS64 : ELFCLASS32);
        out[EI_DATA] = char(big_ ? ELFDATA2MSB : ELFDATA2LSB);
        out[EI_VERSION] = EV_CURRENT;
        const std::uint64_t tableAt = phoff ? phoff : headerSize();
        if (is64_) {
            Put(out, 16, ET_EXEC, 2), Put(out, 18, EM_ARM, 2), Put(out, 20, EV_CURRENT, 4);
            Put(out, 24, entry, 8), Put(out, 32, tableAt, 8), Put(out, 52, headerSize(), 2);
            Put(out, 54, programHeaderSize(), 2), Put(out, 56, segments.size(), 2), Put(out, 58, 64, 2);
        } else {
            Put(out, 16, ET_EXEC, 2), Put(out, 18, EM_ARM, 2), Put(out, 20, EV_CURRENT, 4);
            Put(out, 24, entry, 4), Put(out, 28, tableAt, 4), Put(out, 40, headerSize(), 2);
            Put(out, 42, programHeaderSize(), 2), Put(out, 44, segments.size(), 2), Put(out, 46, 40, 2);
        }
        for (std::size_t i = 0; i < segments.size(); ++i) {
            const ElfSegment& s = segments[i];
            const std::size_t at = headerSize() + i * programHeaderSize();
            const std::uint64_t memSize = s.memSize ? s.memSize : s.fileSize;
            // A virtual address of its own shows that the physical one is used.
            const std::uint64_t virtualAddress = s.address + 0x20000000;
            if (is64_) {
                Put(out, at, s.type, 4), Put(out, at + 4, PF_R, 4), Put(out, at + 8, s.offset, 8);
                Put(out, at + 16, virtualAddress, 8), Put(out, at + 24, s.address, 8);
                Put(out, at + 32, s.fileSize, 8), Put(out, at + 40, memSize, 8), Put(out, at + 48, 1, 8);
            } else {
                Put(out, at, s.type, 4), Put(out, at + 4, s.offset, 4), Put(out, at + 8, virtualAddress, 4);
                Put(out, at + 12, s.address, 4), Put(out, at + 16, s.fileSize, 4), Put(out, at + 20, memSize, 4);
                Put(out, at + 24, PF_R, 4), Put(out, at + 28, 1, 4);
            }
        }
        return out + data;
    }

private:
    void Put(QByteArray& out, std::size_t at, std::uint64_t value, int width) const {
        for (int i = 0; i < width; ++i) {
            const int shift = 8 * (big_ ? width - 1 - i : i);
            out[qsizetype(at) + i] = char((value >> shift) & 0xFF);
        }
    }

    bool is64_;
    bool big_;
};
