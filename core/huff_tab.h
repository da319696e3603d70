// The spectral Huffman codebooks 1 to 11 and the scalefactor codebook of
// ISO/IEC 13818-7 (generated data in core/huff_tab.cpp).
#ifndef TESSEL_CORE_HUFF_TAB_H
#define TESSEL_CORE_HUFF_TAB_H

struct HuffBook {
  int dim;                     // values per codeword: 4 or 2
  int isSigned;                // 1: values carry their sign in the codeword
  int lav;                     // largest absolute value (16 = escape in book 11)
  int entries;
  int book;
  const unsigned char* length; // codeword length in bits per index
  const unsigned short* code;  // codeword, lowest `length` bits, MSB first
};

// Index 0 is the zero book (no codewords); 1..11 the spectral books.
extern const HuffBook kHuffBooks[12];

// Scalefactor differences -60..60 at index difference + 60.
extern const unsigned char kSfLen[121];
extern const unsigned int kSfCode[121];

#endif
