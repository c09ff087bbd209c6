#include "model/GroupNode.h"

#include <GL/gl.h>

namespace {

// Destroy a chain node by node. A recursive teardown through the links would
// overflow the stack on layers of millions of objects.
void destroyChain(GroupNode* node) {
  while (node) {
    GroupNode* following = node->links[0];
    node->links[0] = nullptr;
    delete node;
    node = following;
  }
}

}  // namespace

GroupNode::~GroupNode() {
  destroyChain(links[1]);
  destroyChain(links[0]);
}

GroupNode* GroupNode::last() {
  GroupNode* node = this;
  while (node->links[0]) node = node->links[0];
  return node;
}

GroupNode* GroupNode::append(GroupNode* node) {
  GroupNode* end = last();
  if (!node) return end;
  end->links[0] = node;
  return node;
}

GroupNode* GroupNode::removeNext() {
  GroupNode* victim = links[0];
  if (victim) {
    GroupNode* successor = victim->links[0];
    victim->links[0] = nullptr;
    delete victim;
    links[0] = successor;
  }
  return links[0];
}

Box::~Box() {}

void Box::draw() {
  glBegin(GL_QUADS);
  glVertex2f((float)x, (float)y);
  glVertex2f((float)wrapAdd(x, w), (float)y);
  glVertex2f((float)wrapAdd(x, w), (float)wrapAdd(y, h));
  glVertex2f((float)x, (float)wrapAdd(y, h));
  glEnd();
}

Opt::~Opt() {}

void Opt::draw() {
  float x0 = (float)x, y0 = (float)y;
  float x1 = (float)wrapAdd(x, w), y1 = (float)wrapAdd(y, h);
  glBegin(GL_LINE_LOOP);
  glVertex2f(x0, y0);
  glVertex2f(x1, y0);
  glVertex2f(x1, y1);
  glVertex2f(x0, y1);
  glEnd();
  glBegin(GL_LINES);
  glVertex2f(x0, y0);
  glVertex2f(x1, y1);
  glVertex2f(x1, y0);
  glVertex2f(x0, y1);
  glEnd();
}
