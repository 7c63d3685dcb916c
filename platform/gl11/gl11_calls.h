// Every OpenGL 1.1 and GLU call the intro makes (shell/, scenes/ and the
// glyph builders), with the subset routine that serves it, as
//   GL11_CALL(result, GL name, gl11 routine, (parameters), (arguments)).
// An executable that draws through the subset defines the GL names from
// this list (platform/web, brindlec-capture --gl subset). A call the intro
// starts to make must be added here, or such an executable does not link.
// No include guard: include it where GL11_CALL is defined.

GL11_CALL(void, glBegin, gl11_begin, (GLenum mode), (mode))
GL11_CALL(void, glBitmap, gl11_bitmap,
          (GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove, GLfloat ymove,
           const GLubyte* bitmap),
          (width, height, xorig, yorig, xmove, ymove, bitmap))
GL11_CALL(void, glCallList, gl11_call_list, (GLuint list), (list))
GL11_CALL(void, glCallLists, gl11_call_lists, (GLsizei n, GLenum type, const GLvoid* lists), (n, type, lists))
GL11_CALL(void, glClear, gl11_clear, (GLbitfield mask), (mask))
GL11_CALL(void, glClearColor, gl11_clear_color, (GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha),
          (red, green, blue, alpha))
GL11_CALL(void, glClearDepth, gl11_clear_depth, (GLclampd depth), (depth))
GL11_CALL(void, glColor4fv, gl11_color4fv, (const GLfloat* v), (v))
GL11_CALL(void, glDeleteLists, gl11_delete_lists, (GLuint list, GLsizei range), (list, range))
GL11_CALL(void, glDepthFunc, gl11_depth_func, (GLenum func), (func))
GL11_CALL(void, glEnable, gl11_enable, (GLenum cap), (cap))
GL11_CALL(void, glEnd, gl11_end, (void), ())
GL11_CALL(void, glEndList, gl11_end_list, (void), ())
GL11_CALL(void, glFlush, gl11_flush, (void), ())
GL11_CALL(GLuint, glGenLists, gl11_gen_lists, (GLsizei range), (range))
GL11_CALL(void, glHint, gl11_hint, (GLenum target, GLenum mode), (target, mode))
GL11_CALL(void, glLightfv, gl11_lightfv, (GLenum light, GLenum pname, const GLfloat* params),
          (light, pname, params))
GL11_CALL(void, glLineWidth, gl11_line_width, (GLfloat width), (width))
GL11_CALL(void, glListBase, gl11_list_base, (GLuint base), (base))
GL11_CALL(void, glLoadIdentity, gl11_load_identity, (void), ())
GL11_CALL(void, glMaterialf, gl11_materialf, (GLenum face, GLenum pname, GLfloat param), (face, pname, param))
GL11_CALL(void, glMaterialfv, gl11_materialfv, (GLenum face, GLenum pname, const GLfloat* params),
          (face, pname, params))
GL11_CALL(void, glMatrixMode, gl11_matrix_mode, (GLenum mode), (mode))
GL11_CALL(void, glNewList, gl11_new_list, (GLuint list, GLenum mode), (list, mode))
GL11_CALL(void, glNormal3f, gl11_normal3f, (GLfloat nx, GLfloat ny, GLfloat nz), (nx, ny, nz))
GL11_CALL(void, glNormal3fv, gl11_normal3fv, (const GLfloat* v), (v))
GL11_CALL(void, glPixelStorei, gl11_pixel_storei, (GLenum pname, GLint param), (pname, param))
GL11_CALL(void, glPolygonMode, gl11_polygon_mode, (GLenum face, GLenum mode), (face, mode))
GL11_CALL(void, glPopAttrib, gl11_pop_attrib, (void), ())
GL11_CALL(void, glPopClientAttrib, gl11_pop_client_attrib, (void), ())
GL11_CALL(void, glPushAttrib, gl11_push_attrib, (GLbitfield mask), (mask))
GL11_CALL(void, glPushClientAttrib, gl11_push_client_attrib, (GLbitfield mask), (mask))
GL11_CALL(void, glRasterPos2f, gl11_raster_pos2f, (GLfloat x, GLfloat y), (x, y))
GL11_CALL(void, glRotatef, gl11_rotatef, (GLfloat angle, GLfloat x, GLfloat y, GLfloat z), (angle, x, y, z))
GL11_CALL(void, glShadeModel, gl11_shade_model, (GLenum mode), (mode))
GL11_CALL(void, glTranslatef, gl11_translatef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))
GL11_CALL(void, glVertex3f, gl11_vertex3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))
GL11_CALL(void, glVertex3fv, gl11_vertex3fv, (const GLfloat* v), (v))
GL11_CALL(void, glViewport, gl11_viewport, (GLint x, GLint y, GLsizei width, GLsizei height),
          (x, y, width, height))
GL11_CALL(void, gluLookAt, gl11_look_at,
          (GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY, GLdouble centerZ,
           GLdouble upX, GLdouble upY, GLdouble upZ),
          (eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ))
GL11_CALL(void, gluPerspective, gl11_perspective,
          (GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar), (fovy, aspect, zNear, zFar))
