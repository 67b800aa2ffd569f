#include "app/number_stamp.h"

#include <cstring>
#include <memory>

#include "app/driver.h"
#include "pdf/content/content_lexer.h"
#include "pdf/content/graph_objs.h"
#include "pdf/stream/stream.h"

namespace quarn {

namespace {

template <typename T>
void AppendBits(std::string& key, const T& value) {
  char bits[sizeof(T)];
  std::memcpy(bits, &value, sizeof(T));
  key.append(bits, sizeof(T));
}

}  // namespace

std::string NumberStamp::Key() const {
  // The texts are framed by their lengths, the numbers by their exact bits.
  std::string key;
  key.reserve(prefix.size() + fontName.size() + text.size() + 96);
  for (const std::string* part : {&prefix, &stateName, &fontName, &text}) {
    AppendBits(key, part->size());
    key += *part;
  }
  AppendBits(key, fontSize);
  AppendBits(key, position.x);
  AppendBits(key, position.y);
  key += fill ? '1' : '0';
  if (fill) AppendBits(key, *fill);
  key += displayToUser ? '1' : '0';
  if (displayToUser) {
    for (double entry : *displayToUser) AppendBits(key, entry);
  }
  return key;
}

bool NumberStamp::Write(std::string& out, CPDFErrorRecord& error) const {
  CPDFGraphObjs objects;
  objects.AddSave();
  if (displayToUser) AddConcatMatrix(objects, *displayToUser);
  if (!stateName.empty()) {
    auto state = std::make_unique<PageDescOperator>();
    state->SetExtGState(stateName);
    objects.Append(std::move(state));
  }
  if (fill) {
    auto colour = std::make_unique<PageDescOperator>();
    colour->SetFillRGB((*fill)[0], (*fill)[1], (*fill)[2]);
    objects.Append(std::move(colour));
  }
  objects.AddTextObject()
      .BeginText()
      .SetFont(fontName, fontSize)
      .MoveText(position.x, position.y)
      .ShowText(text.data(), text.size())
      .EndText();
  objects.AddRestore();
  CPDFStream stream(nullptr);
  if (!objects.UpdateContents(stream, error)) return false;
  out.clear();
  if (pageContent) {
    // Content that cannot be read closes nothing, as when the page's content is scanned at once.
    CPDFErrorRecord unread;
    const ContentEnd end = EndOfContent([&](const ContentPieceSink& sink) {
      return StreamDetachedContents(*pageContent, sink, unread);
    });
    out = ClosingOperators(end);
    if (surplus) *surplus = end.surplusRestores;
  }
  out += prefix;
  out.append(stream.Data(), stream.DataLength());
  return true;
}

}  // namespace quarn
