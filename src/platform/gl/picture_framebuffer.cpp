// The offscreen picture and its scaling onto the window (see the header).
#include "platform/gl/picture_framebuffer.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// Framebuffer-object calls (GL 3.0 or ARB_framebuffer_object), looked up once
// the context exists; all null when the GL has none.
struct FramebufferCalls {
    PFNGLGENFRAMEBUFFERSPROC gen_framebuffers;
    PFNGLDELETEFRAMEBUFFERSPROC delete_framebuffers;
    PFNGLBINDFRAMEBUFFERPROC bind_framebuffer;
    PFNGLGENRENDERBUFFERSPROC gen_renderbuffers;
    PFNGLDELETERENDERBUFFERSPROC delete_renderbuffers;
    PFNGLBINDRENDERBUFFERPROC bind_renderbuffer;
    PFNGLRENDERBUFFERSTORAGEPROC renderbuffer_storage;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebuffer_renderbuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC check_framebuffer_status;
    PFNGLBLITFRAMEBUFFERPROC blit_framebuffer;
    PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC renderbuffer_storage_multisample; // may be null
};

// Samples per pixel of a picture larger than 640x480 where the GL offers
// them; the 640x480 picture keeps one, so it stays exactly what it always was.
constexpr int kWantedSamples = 4;
constexpr int kSingleSampleWidth = 640;

FramebufferCalls gl = {};
GLuint picture = 0;                 // the framebuffer the scenes draw into; 0 = none
GLuint picture_buffers[2] = {0, 0}; // its colour and depth renderbuffers
int picture_width = 0;              // pixels
int picture_height = 0;
int picture_samples = 0;            // 0 (one sample a pixel) or 2..kWantedSamples
int max_samples = 0;                // what the GL offers for renderbuffers; 0 = no multisampling
// A multisampled picture is resolved into this one before it is scaled onto
// the window (a blit that scales cannot read a multisampled source).
GLuint resolved = 0;                // framebuffer; 0 while the picture has one sample
GLuint resolved_colour = 0;         // its colour renderbuffer

template <typename Call> void look_up(GlProcLookup lookup, Call& call, const char* name)
{
    call = reinterpret_cast<Call>(lookup(name));
}

// The extension string of the current context names extension, as a whole word.
bool has_extension(const char* extension)
{
    const char* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const size_t length = std::strlen(extension);
    for (const char* at = list; at && (at = std::strstr(at, extension)) != nullptr; at += length)
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0'))
            return true;
    return false;
}

int look_up_framebuffer_calls(GlProcLookup lookup)
{
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    const bool core_in_version = version && version[0] >= '3' && version[1] == '.';
    if (!core_in_version && !has_extension("GL_ARB_framebuffer_object"))
        return 0;
    look_up(lookup, gl.gen_framebuffers, "glGenFramebuffers");
    look_up(lookup, gl.delete_framebuffers, "glDeleteFramebuffers");
    look_up(lookup, gl.bind_framebuffer, "glBindFramebuffer");
    look_up(lookup, gl.gen_renderbuffers, "glGenRenderbuffers");
    look_up(lookup, gl.delete_renderbuffers, "glDeleteRenderbuffers");
    look_up(lookup, gl.bind_renderbuffer, "glBindRenderbuffer");
    look_up(lookup, gl.renderbuffer_storage, "glRenderbufferStorage");
    look_up(lookup, gl.framebuffer_renderbuffer, "glFramebufferRenderbuffer");
    look_up(lookup, gl.check_framebuffer_status, "glCheckFramebufferStatus");
    look_up(lookup, gl.blit_framebuffer, "glBlitFramebuffer");
    look_up(lookup, gl.renderbuffer_storage_multisample, "glRenderbufferStorageMultisample");
    max_samples = 0;
    if (gl.renderbuffer_storage_multisample)
        glGetIntegerv(GL_MAX_SAMPLES, &max_samples);
    return gl.gen_framebuffers && gl.delete_framebuffers && gl.bind_framebuffer &&
           gl.gen_renderbuffers && gl.delete_renderbuffers && gl.bind_renderbuffer &&
           gl.renderbuffer_storage && gl.framebuffer_renderbuffer &&
           gl.check_framebuffer_status && gl.blit_framebuffer;
}

// The largest rectangle of the picture's aspect that fits the window,
// centred: x, y, width, height in window pixels (GL's bottom-up rows).
struct Placement {
    int x, y, width, height;
};

Placement place_picture(int window_width, int window_height)
{
    // Compare in integers: width × picture_height against height × picture_width.
    Placement p;
    if (int64_t(window_width) * picture_height <= int64_t(window_height) * picture_width) {
        p.width = window_width;
        p.height = int((int64_t(window_width) * picture_height + picture_width / 2) / picture_width);
    } else {
        p.height = window_height;
        p.width = int((int64_t(window_height) * picture_width + picture_height / 2) / picture_height);
    }
    p.x = (window_width - p.width) / 2;
    p.y = (window_height - p.height) / 2;
    return p;
}

// Without framebuffers the scenes draw to the window itself, at 1:1, centred
// in the size the window has now.
void draw_unscaled(int window_width, int window_height)
{
    glViewport((window_width - picture_width) / 2, (window_height - picture_height) / 2,
               picture_width, picture_height);
}

// Both buffers start black, as a new window does; the clear colour is put back.
void clear_picture()
{
    GLfloat clear_colour[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear_colour);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(clear_colour[0], clear_colour[1], clear_colour[2], clear_colour[3]);
}

void drop_resolved()
{
    if (resolved) {
        gl.delete_framebuffers(1, &resolved);
        gl.delete_renderbuffers(1, &resolved_colour);
        resolved = resolved_colour = 0;
    }
}

void store_picture_buffers(int samples, int width, int height)
{
    for (int i = 0; i < 2; ++i) {
        const GLenum format = i == 0 ? GL_RGBA8 : GL_DEPTH_COMPONENT24;
        gl.bind_renderbuffer(GL_RENDERBUFFER, picture_buffers[i]);
        if (samples)
            gl.renderbuffer_storage_multisample(GL_RENDERBUFFER, samples, format, width, height);
        else
            gl.renderbuffer_storage(GL_RENDERBUFFER, format, width, height);
    }
    gl.bind_renderbuffer(GL_RENDERBUFFER, 0);
}

// Gives the picture's buffers their storage for width × height, multisampled
// above 640x480 when the GL can, with the resolve target beside them; falls
// back to one sample when the multisampled framebuffer is not complete.
// Leaves the picture bound. Returns its completeness.
bool store_picture(int width, int height)
{
    picture_samples = width > kSingleSampleWidth ? std::min(kWantedSamples, max_samples) : 0;
    if (picture_samples < 2)
        picture_samples = 0;
    store_picture_buffers(picture_samples, width, height);
    gl.bind_framebuffer(GL_FRAMEBUFFER, picture);
    if (picture_samples && gl.check_framebuffer_status(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
        if (!resolved) {
            gl.gen_renderbuffers(1, &resolved_colour);
            gl.gen_framebuffers(1, &resolved);
        }
        gl.bind_renderbuffer(GL_RENDERBUFFER, resolved_colour);
        gl.renderbuffer_storage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        gl.bind_renderbuffer(GL_RENDERBUFFER, 0);
        gl.bind_framebuffer(GL_FRAMEBUFFER, resolved);
        gl.framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, resolved_colour);
        const bool resolvable = gl.check_framebuffer_status(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        gl.bind_framebuffer(GL_FRAMEBUFFER, picture);
        if (resolvable)
            return true;
    }
    drop_resolved();
    if (picture_samples) {
        picture_samples = 0;
        store_picture_buffers(0, width, height);
    }
    return gl.check_framebuffer_status(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

} // namespace

int picture_framebuffer_create(GlProcLookup lookup, int width, int height, int window_width,
                               int window_height)
{
    picture_width = width;
    picture_height = height;
    if (!look_up_framebuffer_calls(lookup)) {
        gl = {};
        draw_unscaled(window_width, window_height);
        return 0;
    }
    gl.gen_renderbuffers(2, picture_buffers);
    store_picture_buffers(0, width, height);
    gl.gen_framebuffers(1, &picture);
    gl.bind_framebuffer(GL_FRAMEBUFFER, picture);
    gl.framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, picture_buffers[0]);
    gl.framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, picture_buffers[1]);
    if (!store_picture(width, height)) {
        picture_framebuffer_destroy();
        gl = {};
        draw_unscaled(window_width, window_height);
        return 0;
    }
    // The context's first viewport is the window's; the scenes draw into the picture.
    glViewport(0, 0, width, height);
    clear_picture();
    return 1;
}

int picture_framebuffer_resize(int width, int height)
{
    if (!picture)
        return 0;
    if (width == picture_width && height == picture_height)
        return 1;
    picture_width = width;
    picture_height = height;
    store_picture(width, height);
    glViewport(0, 0, width, height);
    clear_picture();
    return 1;
}

void picture_framebuffer_present(int window_width, int window_height)
{
    if (!picture || window_width <= 0 || window_height <= 0)
        return;
    const Placement p = place_picture(window_width, window_height);
    // The bars are cleared and the picture copied without touching the
    // state the shell set: the clear colour, colour mask and scissor are put back.
    GLfloat clear_colour[4];
    GLboolean colour_mask[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear_colour);
    glGetBooleanv(GL_COLOR_WRITEMASK, colour_mask);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    if (resolved) {
        gl.bind_framebuffer(GL_READ_FRAMEBUFFER, picture);
        gl.bind_framebuffer(GL_DRAW_FRAMEBUFFER, resolved);
        gl.blit_framebuffer(0, 0, picture_width, picture_height, 0, 0, picture_width, picture_height,
                            GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    gl.bind_framebuffer(GL_DRAW_FRAMEBUFFER, 0);
    gl.bind_framebuffer(GL_READ_FRAMEBUFFER, resolved ? resolved : picture);
    if (p.width != window_width || p.height != window_height) {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    const bool same_size = p.width == picture_width && p.height == picture_height;
    gl.blit_framebuffer(0, 0, picture_width, picture_height, p.x, p.y, p.x + p.width, p.y + p.height,
                        GL_COLOR_BUFFER_BIT, same_size ? GL_NEAREST : GL_LINEAR);

    glClearColor(clear_colour[0], clear_colour[1], clear_colour[2], clear_colour[3]);
    glColorMask(colour_mask[0], colour_mask[1], colour_mask[2], colour_mask[3]);
    if (scissor)
        glEnable(GL_SCISSOR_TEST);
}

void picture_framebuffer_rebind()
{
    if (picture)
        gl.bind_framebuffer(GL_FRAMEBUFFER, picture);
}

void picture_framebuffer_destroy()
{
    drop_resolved();
    if (picture) {
        gl.bind_framebuffer(GL_FRAMEBUFFER, 0);
        gl.delete_framebuffers(1, &picture);
        picture = 0;
    }
    if (picture_buffers[0]) {
        gl.delete_renderbuffers(2, picture_buffers);
        picture_buffers[0] = picture_buffers[1] = 0;
    }
}
