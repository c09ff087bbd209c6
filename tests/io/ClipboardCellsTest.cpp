// Kivo's own clipboard form: every object and cell comes back exactly.
#include "io/ClipboardCells.h"

#include <gtest/gtest.h>

#include <sstream>

#include "io/GdsRecords.h"
#include "model/ObjectOrigin.h"
#include "model/Shapes.h"

namespace {

// The bits of a real that a GDSII save writes: the kept ones while they
// still give the value.
uint64_t savedBits(double value, uint64_t kept) {
  return kept && fromGdsReal(kept) == value ? kept : toGdsReal(value);
}

// Every field of an object that a paste must keep, as text.
std::string describe(const GroupNode& n, const CellLibrary& cells) {
  std::ostringstream s;
  s.precision(17);
  const ObjectOrigin& o = originOf(n.origin);
  s << typeid(n).name() << " " << n.x << "," << n.y << "," << n.w << "," << n.h << " [" << o.code << " "
    << o.gdsLayer << "/" << o.gdsDatatype << " " << o.gdsProperties.size() << ":" << o.gdsProperties << "]";
  auto points = [&s](const std::vector<Point>& p) {
    for (const Point& q : p) s << " " << q.x << "," << q.y;
  };
  if (auto* opt = dynamic_cast<const Opt*>(&n)) s << " value " << opt->value;
  if (auto* shape = dynamic_cast<const Shape*>(&n)) s << " records " << (int)shape->gdsRecords;
  if (auto* p = dynamic_cast<const Polygon*>(&n)) points(p->points);
  if (auto* p = dynamic_cast<const Path*>(&n)) {
    s << " width " << p->width << " type " << p->pathType << " ext " << p->beginExtension << "," << p->endExtension;
    points(p->points);
  }
  if (auto* l = dynamic_cast<const Label*>(&n))
    s << " '" << l->text << "' at " << l->anchor.x << "," << l->anchor.y << " type " << l->textType << " pres "
      << l->presentation << " strans " << l->strans << " mag " << l->magnification << " angle " << l->angle
      << " upm " << l->unitsPerMicrometre << " bits " << savedBits(l->magnification, l->magnificationBits) << ","
      << savedBits(l->angle, l->angleBits);
  if (auto* i = dynamic_cast<const Instance*>(&n)) {
    const CellTransform& t = i->transform;
    const CellArray& a = i->array;
    s << " of " << cells.cell(i->cell).name() << " at " << t.x << "," << t.y << " q" << (int)t.quarterTurns << " m"
      << t.mirrorX << " mag " << t.hasMagnification << t.magnification << " angle " << t.hasAngle << t.angle
      << " bits " << t.magnificationBits << "," << t.angleBits << " array " << a.columns << "x" << a.rows << " "
      << a.columnStep[0] << "," << a.columnStep[1] << "," << a.rowStep[0] << "," << a.rowStep[1] << " aref "
      << a.fromAref;
    for (int32_t v : a.points) s << " " << v;
  }
  return s.str();
}

std::string describe(const std::vector<PlacedObject>& objects, const CellLibrary& cells) {
  std::string text;
  for (const PlacedObject& o : objects) text += std::to_string(o.layer) + " " + describe(*o.node, cells) + "\n";
  return text;
}

std::string describe(const CellLibrary& cells) {
  std::string text;
  for (uint32_t c = 0; c < cells.size(); c++) {
    text += "cell " + cells.cell(c).name() + "\n";
    for (int slot = 0; slot < SLOT_COUNT; slot++)
      if (const Layer* layer = cells.cell(c).layer(slot))
        for (GroupNode* n = layer->first(); n; n = n->next())
          text += std::to_string(slot) + " " + describe(*n, cells) + "\n";
    for (GroupNode* n = cells.cell(c).instances().first(); n; n = n->next()) text += describe(*n, cells) + "\n";
  }
  return text;
}

}  // namespace

TEST(ClipboardCells, EveryObjectAndCellComesBackExactly) {
  ObjectOrigin props;
  props.gdsLayer = 68, props.gdsDatatype = 20, props.gdsProperties = std::string("\0\6\x2b\x02\0\1\0\6\x2c\x06OK", 12);
  const uint32_t withProps = internOrigin(props);
  Opt* marker = new Opt;
  marker->setRect(1, 2, 3, 4), marker->setValue(-77), marker->origin = withProps;
  Polygon* polygon = new Polygon;
  polygon->setPoints({{0, 0}, {100, 0}, {100, 50}, {37, 91}}), polygon->gdsRecords = SHAPE_HAS_CLOSING_POINT;
  polygon->origin = withProps;
  Polygon* node = new Polygon;
  node->setPoints({{5, 5}, {9, 5}}), node->gdsRecords = SHAPE_IS_NODE;
  Path* path = new Path;
  path->setPath({{0, 0}, {40, 30}, {40, -7}}, -6, 4, 3, -2);
  path->gdsRecords = SHAPE_HAS_PATHTYPE | SHAPE_HAS_WIDTH | SHAPE_HAS_BGNEXTN | SHAPE_HAS_ENDEXTN;
  Label* label = new Label;
  label->text = "Vdd!", label->anchor = {-3, 8}, label->textType = 7, label->presentation = 0x26;
  label->strans = 0x8006, label->magnification = 2.5, label->angle = 135, label->unitsPerMicrometre = 100;
  label->gdsRecords = SHAPE_HAS_PRESENTATION | SHAPE_HAS_STRANS | SHAPE_HAS_MAG | SHAPE_HAS_ANGLE;
  label->refresh();
  CellLibrary cells;
  const uint32_t sub = cells.add("SUB"), top = cells.add("MID");
  Label* inner = new Label;
  inner->text = "in", inner->anchor = {1, 1}, inner->refresh();
  Path* wire = new Path;
  wire->setPath({{0, 0}, {0, 10}}, 2, 2);
  cells.cell(sub).editLayer(LAYER_METAL1).appendChain(inner);
  cells.cell(sub).editLayer(pairSlot(70, 5)).appendChain(wire);
  Instance* nested = new Instance;
  nested->cell = sub, nested->transform.x = 10, nested->transform.mirrorX = true, nested->transform.quarterTurns = 3;
  nested->setRect(0, 0, 20, 20);
  cells.cell(top).editLayer(LAYER_INSTANCES).appendChain(nested);
  Instance* placed = new Instance;
  placed->cell = top, placed->transform.hasMagnification = true, placed->transform.magnification = 1.5;
  placed->transform.hasAngle = true, placed->transform.angle = 30, placed->array.columns = 2, placed->array.rows = 3;
  placed->array.columnStep[0] = 100, placed->array.rowStep[1] = 200, placed->array.fromAref = true;
  placed->array.points[2] = 200, placed->array.points[5] = 600;
  placed->setRect(-50, -50, 400, 700);
  const std::vector<PlacedObject> objects = {{LAYER_OPTIONS, marker}, {LAYER_METAL1, polygon},
                                             {LAYER_POLY, node},      {pairSlot(68, 44), path},
                                             {LAYER_METAL1, label},   {LAYER_INSTANCES, placed}};
  const std::string bytes = clipboardCells(objects, cells);
  CellLibrary pastedCells;
  std::vector<PlacedObject> pasted;
  ASSERT_TRUE(objectsOfClipboardCells((const uint8_t*)bytes.data(), bytes.size(), pastedCells, pasted));
  // The objects come grouped by slot; the cells children first.
  std::vector<PlacedObject> sorted = objects;
  std::stable_sort(sorted.begin(), sorted.end(), [](const PlacedObject& a, const PlacedObject& b) { return a.layer < b.layer; });
  EXPECT_EQ(describe(sorted, cells), describe(pasted, pastedCells));
  EXPECT_EQ(describe(cells), describe(pastedCells));
  // Malformed bytes give nothing.
  CellLibrary none;
  std::vector<PlacedObject> nothing;
  EXPECT_FALSE(objectsOfClipboardCells((const uint8_t*)bytes.data(), bytes.size() - 3, none, nothing));
  EXPECT_TRUE(nothing.empty() && none.size() == 0);
  for (const PlacedObject& o : objects) delete o.node;
  for (const PlacedObject& o : pasted) delete o.node;
}
