/// \file
/// CDicomEncapsulatedPixelData — the Pixel Data element (7FE0,0010) of a
/// compressed transfer syntax: a sequence of items, each holding one
/// fragment. Item 0 is the Basic Offset Table. Until told how many frames
/// the value holds (SetFrameLayout), item f+1 is frame f, the one fragment
/// per frame this system writes: a value left in the file is then walked
/// item by item, and the item positions met on the way are remembered so
/// that later frames do not walk the same items again. Once told, the
/// fragments are indexed once and grouped into frames by
/// MapFramesToFragments (offset tables, several fragments per frame).
#pragma once

#include "dicom/DicomPixelData.h"
#include "dicom/FrameFragments.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillon {

class CDicomEncapsulatedPixelData : public CDicomPixelData {
 public:
  /// An empty element of undefined length, ready for WriteFrame.
  CDicomEncapsulatedPixelData();
  /// Built from the Pixel Data header the reader just met (whose value
  /// starts with an item) and the stream position of the first value byte.
  /// `streamMode` is the byte order of the item headers in that stream,
  /// needed when frames are later read from a value left in the file
  /// (every compressed transfer syntax is explicit VR little endian).
  CDicomEncapsulatedPixelData(const CDicomElement& header, uint64_t valuePosition,
                              TransferMode streamMode = TransferMode::ExplicitLittleEndian);
  ~CDicomEncapsulatedPixelData() override;

  /// Turns a plain Pixel Data element whose value holds the fragment items
  /// (item tag, 32-bit little-endian length, data; up to a sequence
  /// delimitation or the end of the value) into an encapsulated one. The
  /// fragments are copied; the source is not changed. The result is loaded
  /// only when the whole value parsed as items; otherwise it holds the items
  /// before the damage and is not loaded. Null when the source is not Pixel
  /// Data or memory runs out.
  static std::unique_ptr<CDicomEncapsulatedPixelData> FromFlatValue(const CDicomElement& source);

  /// Reads the items of the value (the stream just past the header): up to
  /// the defined length, or to the sequence delimitation item, which is not
  /// kept. Loaded when the read succeeds. False for another tag than Pixel
  /// Data, a truncated item header, a tag other than an item, an undefined
  /// or oversized item length (checked against the stream and the defined
  /// value length before anything is allocated), a short read, or the end
  /// of the stream before the delimitation; the items read before the
  /// failure stay.
  [[nodiscard]] bool ReadValue(CStream& stream, TransferMode mode) override;
  /// Walks the item headers of the value without reading the fragments,
  /// up to the sequence delimitation (which is stepped over) or the end of
  /// the defined length, and remembers where each item starts, so that
  /// frames are later found without walking again. Not loaded afterwards.
  /// A Malformed error, with the reason and offset, for a truncated item
  /// header, a tag other than an item, or an item that runs past the value
  /// or the stream.
  Status SkipValue(CStream& stream, TransferMode mode) override;
  /// The 12-byte explicit header (Pixel Data is encapsulated in explicit VR
  /// syntaxes; a data set found to be implicit VR gets the 8-byte implicit
  /// header), every item, and for an undefined length the sequence
  /// delimitation item. False for another tag, an item without its value,
  /// or a defined length too large for the length field, and when the
  /// stream fails (its State() says why).
  [[nodiscard]] bool WriteElement(CStream& stream, TransferMode mode) const override;
  /// 12 (8 in implicit VR) + 8 + length for every item, + 8 for an
  /// undefined length.
  uint64_t EncodedSize(TransferMode mode) const override;
  /// A copy with copies of all items and of the item positions known; null
  /// for another tag or when memory runs out.
  std::unique_ptr<CDicomElement> Clone() const override;
  /// Ignored: the length of an encapsulated value follows from its items.
  void SetValueLength(uint32_t length) override;

  /// Writes the sequence delimitation item that closes a frame-by-frame
  /// output, and fills in a reserved Basic Offset Table (see
  /// ReserveOffsetTable) by seeking back to it. False when no frame has
  /// been written (there is nothing to close, and a stray delimiter would
  /// damage the output).
  [[nodiscard]] bool FinishWrite(CStream& stream, TransferMode mode) override;
  /// Appends one frame as one item. The first call writes the header with
  /// undefined length and an empty Basic Offset Table item, and records the
  /// value position (just past the header). A fragment of odd length gets a
  /// trailing zero byte, since items must have even length. False for a
  /// frame too large for an item length.
  [[nodiscard]] bool WriteFrame(CStream& stream, TransferMode mode, const uint8_t* data,
                                uint64_t length) override;
  /// Before the first WriteFrame: the Basic Offset Table is written with
  /// room for `frames` offsets, which FinishWrite fills in when exactly
  /// that many frames were written and every offset fits 32 bits (the
  /// stream must then be able to seek back); otherwise the room stays
  /// zero-filled. 0 (the default) writes an empty table.
  void ReserveOffsetTable(uint32_t frames) { m_reservedOffsets = frames; }
  /// Delivers the next frame: after SetFrameLayout its fragments joined
  /// (the fragments are indexed on the first read), else item (current
  /// frame + 2); `frameSize` is not used (fragments carry their own
  /// length). From memory when loaded, else from `stream`, starting at the
  /// nearest known item position. False when there is no such frame, it is
  /// empty or larger than `outCapacity`, the fragments cannot be grouped
  /// into frames, or the value is damaged.
  [[nodiscard]] bool ReadNextFrame(CStream* stream, uint8_t* out, uint64_t outCapacity,
                                   uint64_t frameSize, uint64_t& outLength) override;

  /// Declares the frames the value holds (Number of Frames) and the
  /// offsets of the Extended Offset Table (7FE0,0001), empty when the data
  /// set has none. Frames are then read as MapFramesToFragments groups the
  /// fragments, so a frame may span several; 0 frames goes back to one
  /// fragment per frame.
  void SetFrameLayout(int64_t frames, std::vector<uint64_t> extendedOffsets);
  /// For a value in memory: the fragments of each of `frames` frames
  /// (MapFramesToFragments with the Extended Offset Table `extendedOffsets`
  /// when not empty, else the Basic Offset Table).
  Result<std::vector<FrameSpan>> MapFramesInMemory(int64_t frames, const std::vector<uint64_t>& extendedOffsets) const;
  /// For a value in memory: the fragments of `span`, one after the other,
  /// copied into `out`. False when they do not fit in `outCapacity` (then
  /// `outLength` is their size) or are out of range.
  bool CopySpan(const FrameSpan& span, uint8_t* out, uint64_t outCapacity, uint64_t& outLength) const;

  bool IsEncapsulated() const override { return true; }
  /// The items are in memory.
  bool IsLoaded() const override { return m_loaded; }

  size_t GetItemCount() const { return m_items.size(); }
  /// Item `index` (0 is the Basic Offset Table), or null when out of range.
  const CDicomElement* GetItem(size_t index) const;
  /// Stream positions of the item tags met so far while reading frames from
  /// the stream (index i: item i); the entry after the last item read is
  /// the position just past it.
  const std::vector<uint64_t>& GetKnownItemPositions() const { return m_itemPositions; }

 private:
  /// Appends an item holding a copy of `length` bytes at `data`.
  bool AppendItemCopy(const uint8_t* data, uint32_t length);
  /// Records `position` as the position of item `index`; `index` is at most
  /// one past the last known entry.
  void RememberItemPosition(size_t index, uint64_t position);
  bool ReadNextFrameFromMemory(uint64_t target, uint8_t* out, uint64_t outCapacity,
                               uint64_t& outLength) const;
  bool ReadNextFrameFromStream(CStream& stream, uint64_t target, uint8_t* out,
                               uint64_t outCapacity, uint64_t& outLength);

  /// The fragments of the value in memory, and the Basic Offset Table.
  std::vector<FragmentInfo> FragmentsInMemory() const;
  std::vector<uint64_t> BasicOffsetsInMemory() const;
  /// Walks every item of the value in `stream`: the Basic Offset Table into
  /// `basicOffsets`, the fragments into m_fragments. False when the value
  /// is damaged.
  bool IndexFragmentsInStream(CStream& stream, std::vector<uint64_t>& basicOffsets);
  /// Frame `frame` by the spans of SetFrameLayout, from memory or `stream`.
  bool ReadSpannedFrame(CStream* stream, uint64_t frame, uint8_t* out, uint64_t outCapacity,
                        uint64_t& outLength);

  /// Item positions remembered by SkipValue: enough for any real image,
  /// while a damaged file of millions of empty items cannot make the list
  /// grow with it. Items beyond are found by walking on from the last one.
  static constexpr size_t kMaxItemsRememberedBySkip = size_t{1} << 16;

  /// Byte order of the item headers in the stream the value lives in: set
  /// by construction from a header, by ReadValue and by WriteFrame.
  TransferMode m_streamMode = TransferMode::ExplicitLittleEndian;
  std::vector<uint64_t> m_itemPositions;
  std::vector<std::unique_ptr<CDicomElement>> m_items;
  /// SetFrameLayout's frames (0: one fragment per frame) and offsets.
  int64_t m_declaredFrames = 0;
  std::vector<uint64_t> m_extendedOffsets;
  /// Worked out at the first frame read after SetFrameLayout.
  bool m_spansKnown = false;
  std::vector<FrameSpan> m_spans;
  /// For a value in the stream: its fragments, with offsets counted from
  /// m_firstFragmentPosition (the first fragment's item header).
  std::vector<FragmentInfo> m_fragments;
  uint64_t m_firstFragmentPosition = 0;
  /// The Basic Offset Table being written: its entries, where its value
  /// lies in the stream, and each written frame's offset.
  uint32_t m_reservedOffsets = 0;
  uint64_t m_offsetTablePosition = 0;
  std::vector<uint64_t> m_writtenOffsets;
};

}  // namespace quillon
