// Values that travel piece by piece without callbacks: the call stops with "need data",
// the program asks which value and piece through its piece-info call, answers with a
// buffer, and runs the call again. Shared by the OCI8 and OCI7 entry points.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace orastandin {

// In: the values of piecewise binds, one per (bind, iteration), assembled in turn.
class PieceCollector {
 public:
  struct Slot {
    std::size_t bind = 0;
    std::uint32_t iteration = 0;
  };
  void Start(std::vector<Slot> slots);
  void Reset() { *this = PieceCollector(); }
  bool Active() const { return active_; }
  bool Complete() const { return at_ >= slots_.size(); }
  const Slot& Current() const { return slots_[at_]; }
  // 1 (first) for a value's first request, then 2 (next).
  std::uint8_t PieceAsked() const;
  // The program's answer to the current request, taken when the call runs again.
  void Answer(const void* data, std::uint32_t length, std::uint8_t piece, bool isNull);
  // Takes the answer given since the last request, if any; after a value's last (or only)
  // piece the next value is asked for.
  void TakeAnswer();
  // The assembled value of a slot; false for a null one.
  bool ValueOf(std::size_t bind, std::uint32_t iteration, std::string& bytes) const;

 private:
  struct Assembled {
    std::string bytes;
    bool isNull = false;
  };
  bool active_ = false;
  std::vector<Slot> slots_;
  std::size_t at_ = 0;
  int piecesTaken_ = 0;
  std::map<std::pair<std::size_t, std::uint32_t>, Assembled> values_;
  bool answered_ = false;
  std::string answer_;
  std::uint8_t answerPiece_ = 0;
  bool answerNull_ = false;
};

// Out: one value handed out into the buffers the program gives, piece by piece.
class PieceOutlet {
 public:
  // The value of a column (position) of the row slot being delivered.
  void Start(std::string data, bool isNull, std::size_t position, std::uint32_t row);
  void Reset() { *this = PieceOutlet(); }
  bool Active() const { return active_; }
  std::size_t Position() const { return position_; }
  std::uint32_t Row() const { return row_; }
  // 1 (first) before the first piece, then 2 (next).
  std::uint8_t PieceOffered() const { return offset_ == 0 ? 1 : 2; }
  void SetBuffer(void* buffer, std::uint32_t* length, std::int16_t* indicator);
  // Writes the next piece into the buffer last given (at most its length, which then holds
  // the bytes written); true when the value is out. Nothing happens without a buffer.
  bool Deliver();

 private:
  bool active_ = false;
  std::string data_;
  bool isNull_ = false;
  std::size_t offset_ = 0, position_ = 0;
  std::uint32_t row_ = 0;
  void* buffer_ = nullptr;
  std::uint32_t* length_ = nullptr;
  std::int16_t* indicator_ = nullptr;
};

}  // namespace orastandin
