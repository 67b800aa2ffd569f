#include "app/progress_line.h"

namespace quarn {

namespace {

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

ProgressLine::ProgressLine(std::FILE* terminal)
    : m_terminal(terminal), m_start(Clock::now()), m_drawn(m_start) {}

void ProgressLine::Update(int64_t done, int64_t total) {
  if (m_terminal == nullptr || total <= 0) return;
  const Clock::time_point now = Clock::now();
  if (now - m_start < kQuietStart) return;
  if (m_width > 0 && now - m_drawn < kRedrawInterval && done < total) return;
  m_drawn = now;
  const auto percent = static_cast<long long>(done * 100 / total);
  const int width = std::fprintf(m_terminal, "\r%lld of %lld pages (%lld%%)",
                                 static_cast<long long>(done), static_cast<long long>(total),
                                 percent) - 1;
  // A shorter line than the one before leaves nothing of it behind.
  if (width < m_width) std::fprintf(m_terminal, "%*s", m_width - width, "");
  if (width > m_width) m_width = width;
  std::fflush(m_terminal);
}

void ProgressLine::Clear() {
  if (m_terminal == nullptr || m_width <= 0) return;
  std::fprintf(m_terminal, "\r%*s\r", m_width, "");
  std::fflush(m_terminal);
  m_width = 0;
}

}  // namespace quarn
