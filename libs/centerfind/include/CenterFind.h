/* Centre finder of the automatic calibration.
 *
 * Calibration_Point(stage, mode, pixels, points, type) is called once per camera frame the dialog
 * lets through. pixels: a 640 x 480 frame, 24 bits a pixel in B,G,R order, top row first, rows
 * padded to 4 bytes (1920 bytes). A caller whose camera delivers another size scales the frame to
 * 640 x 480 first. The buffer is only read during the call.
 *
 * stage 0: the screen is black. Keeps an average of a few frames as the background that later
 *          frames are measured against; returns 1 once it has it, 0 before.
 * stage 1: a 60 x 60 square at the grid centre alternates with a 40 x 40 square above it (or the
 *          140 / 92 pair of the four-point pattern). Returns 2 once both have been seen steadily,
 *          which tells the finder where the centre cell is, which way is up and how large a square
 *          looks; 1 while not, and for good when a camera pixel spans more than 6 screen pixels
 *          (the record's whole camera pixels could not place the pen within a pixel or two).
 * stage 2: one square of the 5 x 5 grid at a time, row by row. The finder is not told which: it
 *          infers each sighting's cell from geometry and order. Returns 25 as soon as the sightings
 *          determine the whole grid (a projective map with radial distortion fitted to them, the
 *          cells not seen filled from the fit), with points[2k], points[2k+1] the camera position
 *          of output point k and *type = 1: output point (4 - row) * 5 + col is screen cell
 *          (row, col). Returns 2 while the grid is not yet certain, and keeps returning 2 when what
 *          it sees cannot be a clean grid (a second light, a square cut by the image border, a fit
 *          that does not hold): a refusal, never a wrong grid.
 *          Mode 5, the four-point pattern (140 x 140 squares at the corners of the screen's inner
 *          80 % and at its middle, in the order top-left, top-right, bottom-left, bottom-right,
 *          middle): returns 5 once each corner has been seen steadily and the order has told left
 *          from right, with points[0..7] holding the bottom-left, bottom-right, top-left and
 *          top-right targets and *type = 1. Same refusals as above.
 * Any other stage is returned unchanged; so is the stage when an argument is null.
 *
 * Camera positions put pixel edges at whole numbers: the centre of pixel (i, j) is (i + 0.5,
 * j + 0.5), so truncating a position gives the pixel that holds it.
 *
 * The finder keeps its state between calls in the library; calls come from one thread. */
#ifndef TAVORI_CENTERFIND_H
#define TAVORI_CENTERFIND_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define TAVORI_CDECL __cdecl
#else
#define TAVORI_CDECL
#endif

int TAVORI_CDECL Calibration_Point(int stage, int mode, const unsigned char* pixels, double* points, int* type);

#ifdef __cplusplus
}
#endif

#endif
