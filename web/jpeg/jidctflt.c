/*
 * jidctflt.c for the page's libjpeg-turbo: the floating-point inverse DCT computed the way
 * the x86-64 build of libjpeg-turbo computes it (its SSE2 routine), not the way its portable
 * C routine does, so that a JPEG decodes to the same pixels in the browser as on the desktop.
 *
 * The two differ in where the 1/8 scaling happens and how the result is rounded: the C
 * routine scales the dequantisation multipliers by 1/8 and truncates x + 128.5 through the
 * range-limit table; the SSE2 routine keeps the multipliers as they are, rounds x / 8 to the
 * nearest integer (ties to even) by adding 1.5 * 2^26 in single precision, takes the low
 * 16 bits of the sum as a signed word, saturates it to -128..127 and adds 128. Every step
 * below is one single-precision operation in the SSE2 routine's order, and IEEE arithmetic
 * gives the same result wherever it runs (build without floating-point contraction).
 *
 * scripts/build-web.sh copies this file over the one in Debian's libjpeg-turbo source
 * before building it for WebAssembly; the rest of libjpeg-turbo is used unchanged.
 */

#define JPEG_INTERNALS
#include "jinclude.h"
#include "jpeglib.h"
#include "jdct.h"

#include <string.h>

#ifdef DCT_FLOAT_SUPPORTED

#if DCTSIZE != 8
Sorry, this code only copes with 8x8 DCTs.
#endif

/* The butterfly both passes share; in[k] and out[k] are the k-th of eight values. */
static void butterfly(const float in[8], float out[8])
{
  /* Even part */
  const float tmp10 = in[0] + in[4];
  const float tmp11 = in[0] - in[4];
  const float tmp13 = in[2] + in[6];
  const float tmp12 = (in[2] - in[6]) * 1.414213562373095048801689f - tmp13;
  const float tmp0 = tmp10 + tmp13;
  const float tmp3 = tmp10 - tmp13;
  const float tmp1 = tmp11 + tmp12;
  const float tmp2 = tmp11 - tmp12;

  /* Odd part */
  const float z11 = in[1] + in[7];
  const float z13 = in[5] + in[3];
  const float z12 = in[1] - in[7];
  const float z10 = in[5] - in[3];
  const float tmp7 = z11 + z13;
  const float odd11 = (z11 - z13) * 1.414213562373095048801689f;
  const float z5 = (z10 + z12) * 1.847759065022573512256366f;
  const float odd12 = z10 * -2.613125929752753055713286f + z5;
  const float odd10 = z12 * 1.082392200292393968799446f - z5;

  /* Final output stage */
  const float tmp6 = odd12 - tmp7;
  const float tmp5 = odd11 - tmp6;
  const float tmp4 = odd10 + tmp5;
  out[0] = tmp0 + tmp7;
  out[7] = tmp0 - tmp7;
  out[1] = tmp1 + tmp6;
  out[6] = tmp1 - tmp6;
  out[2] = tmp2 + tmp5;
  out[5] = tmp2 - tmp5;
  out[4] = tmp3 + tmp4;
  out[3] = tmp3 - tmp4;
}

/* x / 8 rounded, as a sample: see the top of the file. */
static JSAMPLE descale(float x)
{
  const float sum = x + 100663296.0f; /* (float)(0x00C00000 << 3) */
  unsigned int bits;
  short word;
  int value;

  memcpy(&bits, &sum, sizeof bits);
  word = (short)(bits & 0xFFFF);
  value = word < -128 ? -128 : word > 127 ? 127 : word;
  return (JSAMPLE)(value + CENTERJSAMPLE);
}

GLOBAL(void)
jpeg_idct_float(j_decompress_ptr cinfo, jpeg_component_info *compptr,
                JCOEFPTR coef_block, JSAMPARRAY output_buf,
                JDIMENSION output_col)
{
  const FLOAT_MULT_TYPE *quantptr = (const FLOAT_MULT_TYPE *)compptr->dct_table;
  float workspace[DCTSIZE2]; /* workspace[row * 8 + column] */
  float in[8], out[8];
  int row, column, k;

  (void)cinfo;

  /* Pass 1: columns, dequantised. A column whose AC terms are all zero comes out as its
   * dequantised DC term in every row either way, so no column is skipped. */
  for (column = 0; column < DCTSIZE; column++) {
    for (k = 0; k < DCTSIZE; k++) {
      in[k] = (float)coef_block[k * DCTSIZE + column] * quantptr[k * DCTSIZE + column];
    }
    butterfly(in, out);
    for (k = 0; k < DCTSIZE; k++) workspace[k * DCTSIZE + column] = out[k];
  }

  /* Pass 2: rows, into the output. */
  for (row = 0; row < DCTSIZE; row++) {
    JSAMPROW outptr = output_buf[row] + output_col;
    butterfly(workspace + row * DCTSIZE, out);
    for (k = 0; k < DCTSIZE; k++) outptr[k] = descale(out[k]);
  }
}

#endif /* DCT_FLOAT_SUPPORTED */
