#include "pdf/document/xref.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "pdf/object/exception.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/lexer.h"
#include "pdf/object/limits.h"
#include "pdf/object/out_stream.h"

namespace quarn {

namespace {

constexpr char kModule[] = "CPDFXRef";
constexpr char kMethod[] = "Serialize";

[[noreturn]] void Fail(const std::string& message) {
  Throw(kModule, kMethod, kInvalidFormat, message);
}

std::string NextToken(InStream& in) {
  std::string token;
  if (!ReadToken(in, token)) Fail("ioerror");
  return token;
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A subsection's first number and count: decimal, never negative, and small enough that the
// object numbers they span stay within the largest number we accept.
int64_t SubsectionNumber(const std::string& token) {
  if (!AllDigits(token)) Fail(Format("invalidtoken: %s", token.c_str()));
  return std::strtoll(token.c_str(), nullptr, 10);
}

}  // namespace

void CPDFXRef::Read(CPDFDoc* doc, InStream& in) {
  m_doc = doc;
  m_in = &in;
  std::string token = NextToken(in);
  if (token != "xref") Fail(Format("invalidtoken: %s", token.c_str()));
  for (;;) {
    // Expecting a subsection header or the trailer.
    const int64_t before = in.Tell();
    token = NextToken(in);
    if (token == "trailer") {
      in.Seek(before);
      return;
    }
    int64_t number = SubsectionNumber(token);
    int64_t remaining = SubsectionNumber(NextToken(in));
    if (remaining == 0) {
      // The next token decides the message: another entry is "invalidtrailer", the trailer
      // keyword an unexpected token.
      const std::string next = NextToken(in);
      if (next == "trailer") Fail(Format("invalidtoken: %s", next.c_str()));
      Fail("invalidtrailer");
    }
    for (; remaining > 0; --remaining, ++number) {
      const std::string offset = NextToken(in);
      if (offset.size() != 10) Fail(Format("invalidtoken: %s", offset.c_str()));
      const std::string gen = NextToken(in);
      if (gen.size() != 5) Fail(Format("invalidtoken: %s", gen.c_str()));
      const std::string use = NextToken(in);
      if (use != "n" && use != "f") Fail(Format("invalidtoken: %s", use.c_str()));
      if (number > limits::kMaxObjectNumber) {
        Fail(Format("object number out of range: %lld", static_cast<long long>(number)));
      }
      const int64_t at = std::strtoll(offset.c_str(), nullptr, 10);
      if (number == 0) {
        m_freeHead = static_cast<int32_t>(at > limits::kMaxObjectNumber ? 0 : at);
        continue;
      }
      SetEntry(CPDFXRefEntry(static_cast<int32_t>(number),
                             static_cast<int32_t>(std::strtol(gen.c_str(), nullptr, 10)), at,
                             use == "n"));
    }
  }
}

void CPDFXRef::Serialize(OutStream& out) const { Write(out, nullptr); }

namespace {

// One 20-byte table line, "%010lld %05d %c \n": written once per object, so the common case
// (a ten-digit offset and a five-digit generation, neither negative) goes without printf.
void WriteTableLine(OutStream& out, int64_t offset, int32_t gen, char use) {
  if (offset > limits::kMaxTableOffset) {
    Throw(
        kModule, kMethod, kUserError,
        Format("offset %lld does not fit a cross-reference table", static_cast<long long>(offset)));
  }
  if (offset < 0 || gen < 0 || gen > 99999) {
    out.Printf("%010lld %05d %c \n", static_cast<long long>(offset), gen, use);
    return;
  }
  char line[20] = {'0', '0', '0', '0', '0', '0', '0', '0', '0', '0',
                   ' ', '0', '0', '0', '0', '0', ' ', use, ' ', '\n'};
  for (int i = 9; offset > 0; --i, offset /= 10) line[i] = static_cast<char>('0' + offset % 10);
  for (int i = 15; gen > 0; --i, gen /= 10) line[i] = static_cast<char>('0' + gen % 10);
  out.WriteBytes(line, sizeof line);
}

}  // namespace

void CPDFXRef::Write(OutStream& out, const OutputOffsets* written) const {
  auto writeEntry = [&out, written](const CPDFXRefEntry& e) {
    // Objects released early and those the flush wrote alike.
    const int64_t moved = written && e.InUse() ? written->Find(e.Num()) : -1;
    WriteTableLine(out, moved >= 0 ? moved : e.Offset(), e.Gen(), e.InUse() ? 'n' : 'f');
  };
  out << "xref" << endl;
  // The first subsection starts at object 0 and takes in the filled slots that follow it; then
  // one subsection per run of consecutive filled slots.
  int32_t first = 1;
  while (first <= m_highest && Slot(first)) ++first;
  out.Printf("%ld %ld", 0L, static_cast<long>(first));
  out << endl;
  WriteTableLine(out, m_freeHead, kMaxGeneration, 'f');
  for (int32_t i = 1; i < first; ++i) writeEntry(*Slot(i));
  for (int32_t start = first; start <= m_highest;) {
    if (!Slot(start)) {
      ++start;
      continue;
    }
    int32_t end = start;
    while (end <= m_highest && Slot(end)) ++end;
    out.Printf("%ld %ld", static_cast<long>(start), static_cast<long>(end - start));
    out << endl;
    for (int32_t i = start; i < end; ++i) writeEntry(*Slot(i));
    start = end;
  }
}

void CPDFXRef::Create(CPDFDoc* doc, const CPDFXRef* previous) {
  m_doc = doc;
  m_pages.clear();
  m_count = 0;
  m_highest = 0;
  m_streamNumbers.clear();
  m_freeHead = 0;
  m_size = 0;
  m_sectionOffset = -1;
  m_streamSection = false;
  if (!previous) return;
  m_freeHead = previous->m_freeHead;
  m_size = previous->m_size;
  previous->ForEach([this](int32_t, const CPDFXRefEntry& entry) {
    if (!entry.InUse()) SetEntry(entry);
  });
  m_size = std::max(m_size, previous->m_size);
}

void CPDFXRef::Grow(int32_t size) {
  if (size > m_size) m_size = size;
}

CPDFXRefEntry* CPDFXRef::Slot(int32_t num) const {
  if (num <= 0) return nullptr;
  const size_t page = static_cast<size_t>(num) >> kPageBits;
  if (page >= m_pages.size() || !m_pages[page]) return nullptr;
  CPDFXRefEntry* entry = &m_pages[page][static_cast<size_t>(num) & (kPageSlots - 1)];
  return entry->Num() == num ? entry : nullptr;
}

CPDFXRefEntry* CPDFXRef::GetEntry(int32_t num) {
  if (num <= 0 || num > m_size) return nullptr;
  return Slot(num);
}

const CPDFXRefEntry* CPDFXRef::GetEntry(int32_t num) const {
  return const_cast<CPDFXRef*>(this)->GetEntry(num);
}

int32_t CPDFXRef::AddEntry(int32_t gen, int64_t offset, bool inUse) {
  if (m_size >= limits::kMaxObjectNumber) {
    Throw(kModule, "AddEntry", kUserError, "too many objects");
  }
  const int32_t num = m_size + 1;
  SetEntry(CPDFXRefEntry(num, gen, offset, inUse));
  m_size = num;
  return num;
}

CPDFXRefEntry* CPDFXRef::SetEntry(const CPDFXRefEntry& entry) {
  const int32_t num = entry.Num();
  if (num <= 0 || num > limits::kMaxObjectNumber) return nullptr;
  Grow(num);
  const size_t page = static_cast<size_t>(num) >> kPageBits;
  if (page >= m_pages.size()) m_pages.resize(page + 1);
  if (!m_pages[page]) m_pages[page] = std::make_unique<CPDFXRefEntry[]>(kPageSlots);
  CPDFXRefEntry& slot = m_pages[page][static_cast<size_t>(num) & (kPageSlots - 1)];
  if (slot.Num() != num) ++m_count;
  slot = entry;
  m_highest = std::max(m_highest, num);
  return &slot;
}

CPDFXRefEntry* CPDFXRef::FindFreeLink(int32_t num, bool* found, const char* method) {
  *found = false;
  CPDFXRefEntry* link = nullptr;  // nullptr stands for the head
  int32_t current = m_freeHead;
  // A well-formed chain visits each free entry once; more steps than entries means a loop.
  for (size_t steps = 0; current != 0; ++steps) {
    if (steps > m_count) Throw(kModule, method, kInvalidFormat, "free list loops");
    if (current == num) {
      *found = true;
      return link;
    }
    if (current > num) return link;
    CPDFXRefEntry* entry = GetEntry(current);
    if (!entry) Throw(kModule, method, kInternalError, "CPDFXRef::GetEntry()");
    link = entry;
    current = static_cast<int32_t>(entry->Offset());
  }
  return link;
}

void CPDFXRef::UpdateEntry(int32_t num) {
  CPDFXRefEntry* entry = GetEntry(num);
  if (!entry) Throw(kModule, "UpdateEntry", kInternalError, "CPDFXRef::GetEntry()");
  if (entry->InUse()) return;
  bool onList = false;
  CPDFXRefEntry* link = FindFreeLink(num, &onList, "UpdateEntry");
  if (onList) {
    if (link) {
      link->SetOffset(entry->Offset());
    } else {
      m_freeHead = static_cast<int32_t>(entry->Offset());
    }
  }
  entry->SetOffset(0);
  entry->SetInUse(true);
}

void CPDFXRef::FreeEntry(int32_t num) {
  CPDFXRefEntry* entry = GetEntry(num);
  if (!entry || !entry->InUse()) return;
  bool onList = false;
  CPDFXRefEntry* link = FindFreeLink(num, &onList, "FreeEntry");
  if (onList) {
    // A number in use that the file also lists as free: linking it in again would make the
    // list loop, so it ends the list where it stands.
    entry->SetOffset(0);
  } else {
    entry->SetOffset(link ? link->Offset() : m_freeHead);
    if (link) {
      link->SetOffset(num);
    } else {
      m_freeHead = num;
    }
  }
  if (entry->Gen() < kMaxGeneration) entry->SetGen(entry->Gen() + 1);
  entry->SetInUse(false);
}

}  // namespace quarn
