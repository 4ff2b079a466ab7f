#include "attribute_guard.h"

AttributeGuard::AttributeGuard(std::initializer_list<GLenum> capabilities)
{
    for (GLenum capability : capabilities) {
        if (count_ == kMaxCapabilities) break;
        capabilities_[count_] = capability;
        enabled_[count_] = glIsEnabled(capability);
        ++count_;
    }
    glGetIntegerv(GL_SHADE_MODEL, &shadeModel_);
    glGetIntegerv(GL_POLYGON_MODE, polygonMode_);
}

void AttributeGuard::restore() const
{
    for (int i = 0; i < count_; ++i) {
        if (glIsEnabled(capabilities_[i]) == enabled_[i]) continue;
        if (enabled_[i])
            glEnable(capabilities_[i]);
        else
            glDisable(capabilities_[i]);
    }
    GLint shadeModel = 0, polygonMode[2] = {0, 0};
    glGetIntegerv(GL_SHADE_MODEL, &shadeModel);
    if (shadeModel != shadeModel_) glShadeModel(static_cast<GLenum>(shadeModel_));
    glGetIntegerv(GL_POLYGON_MODE, polygonMode);
    if (polygonMode[0] != polygonMode_[0]) glPolygonMode(GL_FRONT_AND_BACK, static_cast<GLenum>(polygonMode_[0]));
}
