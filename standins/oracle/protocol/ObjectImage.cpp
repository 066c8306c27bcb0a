#include "standins/oracle/protocol/ObjectImage.h"

namespace orastandin {

namespace {
// Images start with this marker, so that RAW data is never taken for one.
const std::string kMarker("\x01SXOBJ", 6);
}  // namespace

std::string ObjectImage::Encode() const {
  WireWriter w;
  w.U8(static_cast<std::uint8_t>(kind));
  w.Str(typeName);
  w.Str(table);
  w.I64(oid);
  w.I64(static_cast<std::int64_t>(items.size()));
  for (const Value& v : items) w.Val(v);
  return kMarker + w.Data();
}

bool ObjectImage::IsImage(const std::string& bytes) { return bytes.compare(0, kMarker.size(), kMarker) == 0; }

bool ObjectImage::Decode(const std::string& bytes, ObjectImage& image) {
  if (!IsImage(bytes)) return false;
  try {
    WireReader r(bytes.substr(kMarker.size()));
    const std::uint8_t kind = r.U8();
    if (kind != 'O' && kind != 'C' && kind != 'R') return false;
    image = {};
    image.kind = static_cast<Kind>(kind);
    image.typeName = r.Str();
    image.table = r.Str();
    image.oid = r.I64();
    const std::int64_t count = r.I64();
    if (count < 0 || count > 1 << 24) return false;
    for (std::int64_t i = 0; i < count; ++i) image.items.push_back(r.Val());
    return r.AtEnd();
  } catch (const WireError&) {
    return false;
  }
}

}  // namespace orastandin
