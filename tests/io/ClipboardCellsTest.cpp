// Kivo's own clipboard form: every object and cell comes back exactly.
#include "io/ClipboardCells.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "io/GdsShapes.h"
#include "model/ObjectOrigin.h"

// What a paste must keep: slot, class, box, origin (interned: equal origins
// have equal numbers), value, the GDSII element of a shape (a label's text
// type as its datatype), an instance's cell, transform and array.
static std::string describe(const std::vector<PlacedObject>& objects, const CellLibrary& cells) {
  std::string s;
  for (const PlacedObject& o : objects) {
    const GroupNode& n = *o.node;
    const Opt* opt = dynamic_cast<const Opt*>(&n);
    char text[256];
    std::snprintf(text, sizeof text, "%d %s %d %d %d %d %u %d ", o.layer, typeid(n).name(), n.x, n.y, n.w, n.h, n.origin,
                  opt ? opt->value : 0);
    s += text;
    if (auto* shape = dynamic_cast<const Shape*>(&n)) {
      auto* label = dynamic_cast<const Label*>(&n);
      GdsRecordWriter w;
      writeGdsShape(w, *shape, 0, label ? label->textType : 0, std::string());
      s += std::to_string(shape->gdsRecords) + w.bytes();
    }
    if (auto* i = dynamic_cast<const Instance*>(&n)) {
      const CellTransform& t = i->transform;
      const int32_t* p = i->array.points;
      std::snprintf(text, sizeof text, "%s %d %d %.17g %.17g %d%d %dx%d %d,%d %d,%d %d,%d holds ",
                    cells.cell(i->cell).name().c_str(), t.quarterTurns, t.mirrorX, t.magnification, t.angle,
                    t.absoluteMagnification, t.absoluteAngle, i->array.columns, i->array.rows, p[0], p[1], p[2], p[3],
                    p[4], p[5]);
      s += text + describe({{LAYER_METAL1, cells.cell(i->cell).layer(LAYER_METAL1)->first()}}, cells);
    }
    s += "\n";
  }
  return s;
}

TEST(ClipboardCells, EveryObjectAndCellComesBackExactly) {
  ObjectOrigin props;
  props.gdsLayer = 68, props.gdsDatatype = 20, props.gdsProperties = std::string("\0\6\x2b\x02\0\1\0\6\x2c\x06OK", 12);
  Opt* marker = new Opt;
  marker->setRect(1, 2, 3, 4), marker->setValue(-77), marker->origin = internOrigin(props);
  Path* path = new Path;
  path->setPath({{0, 0}, {40, 30}, {40, -7}}, -6, 4, 3, -2), path->gdsRecords = SHAPE_HAS_BGNEXTN;
  Label* label = new Label;
  label->text = "Vdd!", label->anchor = {-3, 8}, label->textType = 7, label->presentation = 0x26;
  label->strans = 0x8006, label->magnification = 2.5, label->angle = 135, label->unitsPerMicrometre = 100;
  label->refresh();
  CellLibrary cells;
  Label* inner = new Label;
  inner->text = "in", inner->textType = 3, inner->refresh();
  cells.cell(cells.add("SUB")).editLayer(LAYER_METAL1).appendChain(inner);
  Instance* placed = new Instance;
  placed->transform.angle = 30, placed->transform.mirrorX = true, placed->array.columns = 2, placed->array.rows = 3;
  placed->transform.absoluteMagnification = placed->transform.absoluteAngle = placed->array.fromAref = true;
  placed->array.points[2] = 7, placed->array.points[5] = 10;  // 7 does not divide by 2 columns, nor 10 by 3 rows
  const std::vector<PlacedObject> objects = {
      {LAYER_METAL1, label}, {LAYER_OPTIONS, marker}, {pairSlot(68, 44), path}, {LAYER_INSTANCES, placed}};
  const std::string bytes = clipboardCells(objects, cells);
  CellLibrary pastedCells, none;
  std::vector<PlacedObject> pasted, nothing;
  ASSERT_TRUE(objectsOfClipboardCells((const uint8_t*)bytes.data(), bytes.size(), pastedCells, pasted));
  EXPECT_EQ(describe(objects, cells), describe(pasted, pastedCells));
  EXPECT_FALSE(objectsOfClipboardCells((const uint8_t*)bytes.data(), bytes.size() - 3, none, nothing));
  EXPECT_TRUE(nothing.empty() && none.size() == 0);
  // Written before uneven arrays were kept (their flag bit clear), such an
  // array was placed by its steps: it is refused, not placed otherwise.
  std::string old = bytes;
  const size_t flags = old.rfind(std::string("\3\0\0\0SUB", 7) + std::string(8, '\0')) + 15;
  old[flags] = (char)(old[flags] & 0x7F);
  EXPECT_FALSE(objectsOfClipboardCells((const uint8_t*)old.data(), old.size(), none, nothing));
  for (const PlacedObject& o : objects) delete o.node;
  for (const PlacedObject& o : pasted) delete o.node;
}
