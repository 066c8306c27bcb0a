#include "standins/oracle/client/PieceExchange.h"

#include <algorithm>
#include <cstring>

namespace orastandin {

namespace {
constexpr std::uint8_t OnePiece = 0, FirstPiece = 1, NextPiece = 2, LastPiece = 3;
}  // namespace

void PieceCollector::Start(std::vector<Slot> slots) {
  Reset();
  active_ = true;
  slots_ = std::move(slots);
}

std::uint8_t PieceCollector::PieceAsked() const { return piecesTaken_ == 0 ? FirstPiece : NextPiece; }

void PieceCollector::Answer(const void* data, std::uint32_t length, std::uint8_t piece, bool isNull) {
  answered_ = true;
  answer_.assign(data ? static_cast<const char*>(data) : "", data ? length : 0);
  answerPiece_ = piece;
  answerNull_ = isNull;
}

void PieceCollector::TakeAnswer() {
  if (!answered_ || Complete()) return;
  answered_ = false;
  Assembled& value = values_[{Current().bind, Current().iteration}];
  value.bytes += answer_;
  value.isNull = answerNull_;
  ++piecesTaken_;
  if (answerPiece_ == LastPiece || answerPiece_ == OnePiece || answerNull_) {
    ++at_;
    piecesTaken_ = 0;
  }
}

bool PieceCollector::ValueOf(std::size_t bind, std::uint32_t iteration, std::string& bytes) const {
  auto it = values_.find({bind, iteration});
  if (it == values_.end() || it->second.isNull || it->second.bytes.empty()) return false;
  bytes = it->second.bytes;
  return true;
}

void PieceOutlet::Start(std::string data, bool isNull, std::size_t position, std::uint32_t row) {
  Reset();
  active_ = true;
  data_ = std::move(data);
  isNull_ = isNull;
  position_ = position;
  row_ = row;
}

void PieceOutlet::SetBuffer(void* buffer, std::uint32_t* length, std::int16_t* indicator) {
  buffer_ = buffer;
  length_ = length;
  indicator_ = indicator;
}

bool PieceOutlet::Deliver() {
  if (!length_) return false;
  const std::size_t n = std::min<std::size_t>(*length_, data_.size() - offset_);
  if (buffer_ && n) std::memcpy(buffer_, data_.data() + offset_, n);
  *length_ = static_cast<std::uint32_t>(n);
  if (indicator_) *indicator_ = isNull_ ? -1 : 0;
  offset_ += n;
  length_ = nullptr;  // each piece takes a buffer of its own
  if (offset_ < data_.size() && n > 0) return false;
  active_ = false;
  return true;
}

}  // namespace orastandin
