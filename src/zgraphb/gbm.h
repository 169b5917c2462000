/* zgraphb: the project's bitmap library. It reads the temporary BMP that the
 * image library writes and turns it into an IBM page segment (IM1 image form).
 *
 * The calls follow the public GBM interface so that the page-segment step reads
 * like any GBM client, with these differences:
 *   - gbm_pelx_pely() sets the resolution of the next page segment written, and
 *     gbm_write() takes the output type's short name, long name and extensions
 *     text after the seven GBM arguments;
 *   - a GBM record holds no codec state: every read call checks the file again,
 *     so gbm_read_palette() and gbm_read_data() only need a record that
 *     gbm_read_header() filled for the same file;
 *   - the page-segment writer maps each pixel through the palette: a pixel whose
 *     palette colour is dark becomes ink (bit 1), any other pixel paper (bit 0).
 *     The page segment therefore shows the bitmap as its palette shows it,
 *     whatever order the palette entries come in.
 *
 * Pixel buffers hold the bottom row first; each row is padded to a multiple of
 * four bytes: stride = ((w * bpp + 31) / 32) * 4, buffer size = stride * h.
 * 1, 4 and 8 bpp pixels are palette indexes, most significant bits leftmost;
 * 24 bpp pixels are blue, green, red. gbm_read_header() only accepts images for
 * which w * bpp + 31 and stride * h both fit in an int, and whose buffer the
 * file can plausibly fill, so a caller may allocate stride * h bytes safely.
 *
 * Options texts are accepted and ignored; no codec here has options. The
 * library is safe to call from several threads on different files, except that
 * gbm_pelx_pely() is process-wide. */
#ifndef ZGRAPHB_GBM_H
#define ZGRAPHB_GBM_H

#define GBM_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

typedef int GBM_ERR;

#define GBM_ERR_OK 0
#define GBM_ERR_MEM 1
#define GBM_ERR_NOT_SUPP 2
#define GBM_ERR_BAD_OPTION 3
#define GBM_ERR_NOT_FOUND 4
#define GBM_ERR_BAD_MAGIC 5
#define GBM_ERR_BAD_SIZE 6
#define GBM_ERR_READ 7
#define GBM_ERR_WRITE 8
#define GBM_ERR_BAD_ARG 9

#define GBM_ERR_BMP_PLANES 300   /* number of colour planes is not 1 */
#define GBM_ERR_BMP_BITCOUNT 301 /* bits per pixel other than 1, 4, 8, 24 */
#define GBM_ERR_BMP_CBFIX 302    /* unknown information-header size */
#define GBM_ERR_BMP_COMP 303     /* compression not usable for this bitmap */
#define GBM_ERR_BMP_CORRUPT 304  /* colour table, data offset or RLE stream */

#define GBM_ERR_PSEG_NOT_5A 1600      /* a record does not start with 0x5A */
#define GBM_ERR_PSEG_BAD_RECORD 1601  /* unknown record or impossible length */
#define GBM_ERR_PSEG_NO_IID 1602      /* raster data before the descriptor */
#define GBM_ERR_PSEG_BAD_WIDTH 1603   /* width not a multiple of 8 */
#define GBM_ERR_PSEG_CELLS 1604       /* image cells are not supported */
#define GBM_ERR_PSEG_RASTER_SIZE 1605 /* raster data does not fill the image */
#define GBM_ERR_PSEG_UNEXPECTED 1607  /* record in an unexpected place */

#define GBM_FT_R1 0x0001
#define GBM_FT_R4 0x0002
#define GBM_FT_R8 0x0004
#define GBM_FT_R24 0x0008
#define GBM_FT_W1 0x0010
#define GBM_FT_W4 0x0020
#define GBM_FT_W8 0x0040
#define GBM_FT_W24 0x0080

/* Modes for gbm_io_open() and gbm_io_create(): one access mode, optionally
 * with GBM_O_BINARY (which changes nothing here). The access values equal
 * Linux's O_RDONLY, O_WRONLY and O_RDWR, so POSIX-style callers work too. */
#define GBM_O_RDONLY 0x0000
#define GBM_O_WRONLY 0x0001
#define GBM_O_RDWR 0x0002
#define GBM_O_BINARY 0x8000

typedef struct {
  int w, h, bpp;
} GBM;

typedef struct {
  unsigned char b, g, r;
} GBMRGB;

typedef struct {
  const char* short_name;
  const char* long_name;
  const char* extensions; /* separated by spaces, tabs or commas */
  int flags;              /* GBM_FT_* */
} GBMFT;

/* Both do nothing and return GBM_ERR_OK; kept for the conventional call order. */
GBM_API GBM_ERR gbm_init(void);
GBM_API GBM_ERR gbm_deinit(void);

/* The type whose extension list holds the text after the file name's last dot
 * (ASCII case ignored). GBM_ERR_NOT_FOUND when none does. */
GBM_API GBM_ERR gbm_guess_filetype(const char* fn, int* ft);
GBM_API GBM_ERR gbm_query_filetype(int ft, GBMFT* gbmft);

/* Return a descriptor, or -1 with errno set. Both refuse to follow a symbolic
 * link in the last path component; gbm_io_create() creates or truncates the
 * file with permissions 0666 less the umask. */
GBM_API int gbm_io_open(const char* fn, int mode);
GBM_API int gbm_io_create(const char* fn, int mode);
GBM_API void gbm_io_close(int fd);

GBM_API GBM_ERR gbm_read_header(const char* fn, int fd, int ft, GBM* gbm, const char* opt);
/* Fills 1 << bpp entries for bpp <= 8 (entries the file lacks are black);
 * nothing for 24 bpp. */
GBM_API GBM_ERR gbm_read_palette(int fd, int ft, GBM* gbm, GBMRGB* gbmrgb);
/* data must hold stride * h bytes for the record's w, h and bpp. */
GBM_API GBM_ERR gbm_read_data(int fd, int ft, GBM* gbm, unsigned char* data);

/* Resolution in dots per inch for the page segments written after this call;
 * 0 selects 240. Values above 3276 (the format's limit) are refused with
 * GBM_ERR_BAD_ARG and leave the setting unchanged. */
GBM_API GBM_ERR gbm_pelx_pely(int pelx, int pely);

/* Writes to fd at its current position. fn names the output: the page segment
 * takes its resource name from it. The last three arguments must be the
 * descriptor texts of ft as gbm_query_filetype() returns them. */
GBM_API GBM_ERR gbm_write(const char* fn, int fd, int ft, const GBM* gbm, const GBMRGB* gbmrgb,
                          const unsigned char* data, const char* opt, const char* short_name,
                          const char* long_name, const char* extensions);

#ifdef __cplusplus
}
#endif

#endif /* ZGRAPHB_GBM_H */
