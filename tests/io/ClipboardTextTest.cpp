// The clipboard's text: objects to layout text and back.
#include "io/ClipboardText.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <new>
#include <string>


namespace {

// Allocation failure on demand, on the thread that asks for it: the next
// operator new after allocationsLeft more throws std::bad_alloc (-1: never).
thread_local long allocationsLeft = -1;

}  // namespace

// Every other allocation goes to the operator new this one replaces (the
// sanitizers' or the C++ library's), so that its delete stays the match.
void* operator new(std::size_t size) {
  if (allocationsLeft == 0) {
    allocationsLeft = -1;
    throw std::bad_alloc();
  }
  if (allocationsLeft > 0) --allocationsLeft;
  static void* (*const next)(std::size_t) = (void* (*)(std::size_t))dlsym(RTLD_NEXT, "_Znwm");
  return next(size);
}

namespace {

void release(std::vector<PlacedObject>& objects) {
  for (PlacedObject& o : objects) delete o.node;
  objects.clear();
}

std::vector<PlacedObject> decode(const std::string& text) { return objectsOfClipboardText(text.data(), text.size()); }

TEST(ClipboardText, ObjectsGoToTextAndBackWithSlotValueAndKeptCode) {
  const std::string text = "BB(0,0,5,5)\nREC(1,2,3,4,M1)\nREC(5,5,1,1,ME)\nREC(0,0,2,2,OP,-7)\nREC(9,9,1,1,NW)\n";
  std::vector<PlacedObject> objects = decode(text);
  // The written codes follow the slots; a kept code is written only on the unknown slot.
  EXPECT_EQ("BB(0,0,10,10)\nREC(1,2,3,4,M1)\nREC(9,9,1,1,NW)\nREC(5,5,1,1,ME)\nREC(0,0,2,2,OP,-7)\n",
            clipboardText(objects));
  release(objects);
  for (const char* none : {"", "hello world", "\xff\xfe\x00\x01", "BB(0,0,1,1)\n"})
    EXPECT_TRUE(decode(none).empty()) << none;
}

// Wherever an allocation fails, the decoder throws std::bad_alloc and leaves
// nothing allocated (LeakSanitizer checks that at exit).
TEST(ClipboardText, DecoderThatRunsOutOfMemoryLeavesNothingBehind) {
  std::string text;
  for (int i = 0; i < 40; i++) text += "REC(" + std::to_string(i) + ",0,1,1," + (i % 2 ? "ME" : "Q7") + ")\n";
  for (long k = 0;; k++) {
    allocationsLeft = k;
    try {
      std::vector<PlacedObject> objects = decode(text);
      allocationsLeft = -1;
      EXPECT_EQ(40u, objects.size());
      release(objects);
      break;
    } catch (const std::bad_alloc&) {  // the one allocation made to fail
    }
  }
}

}  // namespace

TEST(ClipboardText, AnInstanceGoesToOtherProgramsAsItsFlattenedObjects) {
  CellLibrary lib;
  const uint32_t leaf = lib.add("LEAF");
  GroupNode* shape = newLayoutObject(LAYER_METAL1);
  shape->setRect(0, 0, 4, 2), lib.cell(leaf).editLayer(LAYER_METAL1).appendChain(shape);
  Instance inst;
  inst.cell = leaf, inst.transform.x = 100, inst.transform.quarterTurns = 1, inst.array.rows = 2, inst.array.rowStep[1] = 10;
  Box own;
  own.setRect(1, 1, 1, 1);
  EXPECT_EQ("BB(0,0,100,14)\nREC(1,1,1,1,NW)\nREC(98,0,2,4,ME)\nREC(98,10,2,4,ME)\n",
            clipboardText({{LAYER_INSTANCES, &inst}, {LAYER_N_WELL, &own}}, &lib));
}
